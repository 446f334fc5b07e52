#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace idlewyn::testing {

// The real relay (relay.py, apns.py and the hook scripts) on 127.0.0.1 under
// a throw-away HOME, laid out as the installer lays it out, with the config
// {"port": 0, "tls": …, "host"/"advertiseHost": "127.0.0.1"}. Agents are
// played by running the installed hook scripts with an agent's payload on
// stdin, as Claude Code and Codex run them.
//
// Everything blocks (tests only) and throws std::runtime_error, with the
// relay's log when the relay does not come up. Waits are bounded only to
// turn a hang into a failure, never to assert on speed. The destructor kills
// hook processes still running and the relay. Needs VESPERLINE_SOURCE_DIR
// (set by vesperline_add_gtest).
class RelayProcess {
public:
    struct Options {
        bool tls = false;
    };

    struct HookRun {
        int exitCode = -1;
        QByteArray output; // standard output only
    };

    struct AdminAnswer {
        int status = 0;
        QJsonObject body; // every admin answer is an object
    };

    explicit RelayProcess(Options options);
    ~RelayProcess();
    RelayProcess(const RelayProcess&) = delete;
    RelayProcess& operator=(const RelayProcess&) = delete;

    // Starts the relay and waits until it has written relay-url, which it
    // does once its port is open. A restart keeps the port the relay had, as a
    // real relay's does: paired phones hold its URL.
    void start();
    // SIGTERM, then waits for the exit.
    void stop();

    QUrl url() const;
    // Fingerprint of relay-cert.pem (absent without tls).
    std::optional<QString> certificateFingerprint() const;

    // The loopback admin API with X-Idlewyn-Secret (pinned to relay-cert.pem
    // over https).
    AdminAnswer admin(const QByteArray& method, const QString& path,
                      const std::optional<QJsonObject>& body = std::nullopt) const;
    QJsonObject status() const; // GET v1/admin/status; throws unless 200

    // Runs bin/hooks/<script> with the payload on stdin, to its end.
    HookRun runHook(const QString& script, const QJsonObject& payload, const QStringList& arguments = {});
    // Starts a hook that may be held (the permission hook in away mode); the
    // process belongs to this object.
    QProcess* startHook(const QString& script, const QJsonObject& payload, const QStringList& arguments = {});
    static HookRun finishHook(QProcess* hook);

    // Claude Code hook payloads as Claude sends them.
    static QJsonObject claudeEvent(const QString& event, const QString& sessionId, const QJsonObject& fields = {});
    // A Bash permission request for "rm -rf node_modules".
    static QJsonObject claudePermissionRequest(const QString& sessionId);
    // Codex starting a turn in /home/dev/web ("add dark mode"), through its
    // notify hook, to its end.
    HookRun submitCodexPrompt(const QString& threadId);

    // Runs the event loop until the condition holds; throws after `limitMs`.
    static void waitUntil(const std::function<bool()>& condition, const QString& what, int limitMs = 20000);

private:
    QString path(const QString& name) const;
    QString log() const;
    void writeConfig() const;
    QProcessEnvironment environment() const;

    Options m_options;
    QTemporaryDir m_home;
    std::unique_ptr<QProcess> m_relay;
    int m_port = 0;
    std::vector<std::unique_ptr<QProcess>> m_hooks;
};

} // namespace idlewyn::testing
