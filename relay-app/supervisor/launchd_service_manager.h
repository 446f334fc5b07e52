#pragma once

#include "supervisor/service_manager.h"

#include <QByteArray>
#include <QStringList>
#include <chrono>
#include <sys/types.h>

namespace vesperline {

// The relay as a per-user launch agent: a property list in
// ~/Library/LaunchAgents loaded into the gui/<uid> domain with launchctl.
// launchd starts the relay at load and keeps it alive.
class LaunchdServiceManager : public ServiceManager {
public:
    struct Options {
        QString launchctl = QStringLiteral("/bin/launchctl");
        // The user whose gui domain is used; the process's real user id.
        std::optional<uid_t> userId;
        // Pause between bootstrap attempts (launchd needs a moment after a bootout).
        std::chrono::milliseconds bootstrapPause{400};
    };

    static constexpr int bootstrapAttempts = 5;

    explicit LaunchdServiceManager(RelayPaths paths);
    LaunchdServiceManager(RelayPaths paths, Options options);

    QCoro::Task<> start() const override;
    QCoro::Task<> restart() const override;
    QCoro::Task<> stop() const override;
    bool hasDefinition() const override;
    std::optional<QString> installedRelayPath() const override;
    QString name() const override { return QStringLiteral("launchd"); }

    // home/Library/LaunchAgents/io.zembrix.idlewyn.relay.plist
    QString launchAgentPlist() const;
    // "gui/<uid>" and "gui/<uid>/io.zembrix.idlewyn.relay"
    QString domainTarget() const;
    QString serviceTarget() const;

    // The agent's property list as XML: Label, ProgramArguments (python,
    // relay script), RunAtLoad, KeepAlive, ProcessType Background, and both
    // output paths on the log file. Nothing else: no environment, no
    // working directory.
    QByteArray launchAgentXml() const;
    // The second ProgramArguments entry of a property list (XML or binary).
    static std::optional<QString> programPathIn(const QByteArray& plistData);

    void writeLaunchAgent() const;
    // Runs launchctl; a non-zero exit fails as "launchctl <first argument>".
    QCoro::Task<QString> launchctl(QStringList arguments) const;
    QCoro::Task<> bootstrapWithRetry() const;

private:
    QStringList bootoutArguments() const;
    QStringList bootstrapArguments() const;
    QStringList kickstartArguments() const;

    RelayPaths m_paths;
    Options m_options;
};

} // namespace vesperline
