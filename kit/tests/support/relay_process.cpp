#include "relay_process.h"

#include "relay/certificate_pin.h"
#include "relay/http_session.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTest>
#include <stdexcept>

#include <qcoro/qcorotask.h>

namespace idlewyn::testing {

namespace {

const QString resources = QStringLiteral(VESPERLINE_SOURCE_DIR "/relay-app/resources");

void fail(const QString& message)
{
    throw std::runtime_error(message.toStdString());
}

QString readTrimmed(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).trimmed();
}

} // namespace

RelayProcess::RelayProcess(Options options)
    : m_options(std::move(options))
{
    if (!m_home.isValid()) {
        fail(QStringLiteral("no temporary directory for the relay's home"));
    }
    const QString bin = path(QStringLiteral("bin"));
    if (!QDir().mkpath(bin + QStringLiteral("/hooks"))) {
        fail(QStringLiteral("cannot make %1/hooks").arg(bin));
    }
    const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    for (const char* name : {"relay.py", "apns.py", "hooks/claude-hook.sh", "hooks/claude-permission-hook.sh",
                             "hooks/codex-notify.sh", "hooks/claude-settings.example.json"}) {
        const QString installed = bin + u'/' + QString::fromLatin1(name);
        const QString source = resources + u'/' + QFileInfo(installed).fileName();
        if (!QFile::copy(source, installed)
            || !QFile::setPermissions(installed, installed.endsWith(u".sh") ? owner | QFileDevice::ExeOwner : owner)) {
            fail(QStringLiteral("cannot install %1 as %2").arg(source, installed));
        }
    }
    start();
}

RelayProcess::~RelayProcess()
{
    for (auto& hook : m_hooks) {
        if (hook->state() != QProcess::NotRunning) {
            hook->kill();
            hook->waitForFinished(5000);
        }
    }
    if (m_relay && m_relay->state() != QProcess::NotRunning) {
        m_relay->kill();
        m_relay->waitForFinished(5000);
    }
}

void RelayProcess::writeConfig() const
{
    const QJsonObject config{
        {QStringLiteral("port"), m_port},
        {QStringLiteral("tls"), m_options.tls},
        {QStringLiteral("host"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("advertiseHost"), QStringLiteral("127.0.0.1")},
    };
    QFile file(path(QStringLiteral("config.json")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(QJsonDocument(config).toJson()) < 0) {
        fail(QStringLiteral("cannot write config.json"));
    }
}

QProcessEnvironment RelayProcess::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& key : env.keys()) {
        // Loopback only: no proxy may stand between the tests and the relay.
        if (key.contains(QStringLiteral("proxy"), Qt::CaseInsensitive)) {
            env.remove(key);
        }
    }
    env.insert(QStringLiteral("HOME"), m_home.path());
    env.insert(QStringLiteral("PYTHONDONTWRITEBYTECODE"), QStringLiteral("1"));
    return env;
}

void RelayProcess::start()
{
    writeConfig();
    // relay.py removes a stale relay-url itself; removing it here as well
    // makes sure we wait for the new one.
    QFile::remove(path(QStringLiteral("relay-url")));
    m_relay = std::make_unique<QProcess>();
    m_relay->setProcessEnvironment(environment());
    m_relay->setProcessChannelMode(QProcess::MergedChannels);
    m_relay->setStandardOutputFile(path(QStringLiteral("relay.log")), QIODevice::Append);
    m_relay->setStandardInputFile(QProcess::nullDevice());
    m_relay->start(QStringLiteral("/usr/bin/python3"), {path(QStringLiteral("bin/relay.py"))});
    if (!m_relay->waitForStarted(10000)) {
        fail(QStringLiteral("cannot start /usr/bin/python3: %1").arg(m_relay->errorString()));
    }
    const QDeadlineTimer deadline(30000);
    while (true) {
        if (m_relay->state() == QProcess::NotRunning) {
            fail(QStringLiteral("the relay exited with %1:\n%2").arg(m_relay->exitCode()).arg(log()));
        }
        const QUrl relayUrl = url();
        if (relayUrl.isValid() && relayUrl.port() > 0) {
            m_port = relayUrl.port(); // relay-url goes when the relay stops
            return;
        }
        if (deadline.hasExpired()) {
            fail(QStringLiteral("the relay did not come up:\n") + log());
        }
        m_relay->waitForFinished(50); // a short sleep that also notices an exit
    }
}

void RelayProcess::stop()
{
    m_relay->terminate();
    if (!m_relay->waitForFinished(20000)) {
        m_relay->kill();
        m_relay->waitForFinished(5000);
    }
}

QString RelayProcess::path(const QString& name) const
{
    return m_home.path() + QStringLiteral("/.idlewyn-relay/") + name;
}

QUrl RelayProcess::url() const
{
    const QString text = readTrimmed(path(QStringLiteral("relay-url")));
    return text.isEmpty() ? QUrl() : QUrl(text);
}

std::optional<QString> RelayProcess::certificateFingerprint() const
{
    return CertificatePin::fingerprint(path(QStringLiteral("relay-cert.pem")));
}

QString RelayProcess::log() const
{
    return readTrimmed(path(QStringLiteral("relay.log")));
}

RelayProcess::AdminAnswer RelayProcess::admin(const QByteArray& method, const QString& relativePath,
                                              const std::optional<QJsonObject>& body) const
{
    const std::optional<QString> pin = certificateFingerprint();
    if (m_options.tls && !pin) {
        fail(QStringLiteral("the https relay has no readable relay-cert.pem"));
    }
    const auto session = m_options.tls ? std::make_unique<HttpSession>(*pin) : std::make_unique<HttpSession>();
    HttpRequest request;
    request.method = method;
    request.url = url().resolved(QUrl(relativePath));
    request.headers = {{"X-Idlewyn-Secret", readTrimmed(path(QStringLiteral("hook-secret"))).toUtf8()},
                       {"Content-Type", "application/json"}};
    if (body) {
        request.body = QJsonDocument(*body).toJson(QJsonDocument::Compact);
    }
    request.timeout = std::chrono::seconds(10);

    std::optional<HttpResponse> response;
    QString failure;
    QCoro::waitFor([&]() -> QCoro::Task<> {
        try {
            response = co_await session->send(request);
        } catch (const TransportError& error) {
            failure = error.description();
        }
    }());
    if (!response || !response->status) {
        fail(QStringLiteral("admin %1 %2 failed: %3").arg(QString::fromLatin1(method), relativePath, failure));
    }
    return AdminAnswer{*response->status, QJsonDocument::fromJson(response->body).object()};
}

QJsonObject RelayProcess::status() const
{
    const AdminAnswer answer = admin("GET", QStringLiteral("v1/admin/status"));
    if (answer.status != 200) {
        fail(QStringLiteral("the status document answered %1").arg(answer.status));
    }
    return answer.body;
}

RelayProcess::HookRun RelayProcess::runHook(const QString& script, const QJsonObject& payload,
                                            const QStringList& arguments)
{
    return finishHook(startHook(script, payload, arguments));
}

QProcess* RelayProcess::startHook(const QString& script, const QJsonObject& payload, const QStringList& arguments)
{
    auto hook = std::make_unique<QProcess>();
    hook->setProcessEnvironment(environment());
    hook->start(path(QStringLiteral("bin/hooks/")) + script, arguments);
    if (!hook->waitForStarted(10000)) {
        fail(QStringLiteral("cannot run %1: %2").arg(script, hook->errorString()));
    }
    hook->write(QJsonDocument(payload).toJson(QJsonDocument::Compact));
    hook->closeWriteChannel();
    m_hooks.push_back(std::move(hook));
    return m_hooks.back().get();
}

RelayProcess::HookRun RelayProcess::finishHook(QProcess* hook)
{
    // Claude gives a permission hook ten minutes; the relay always lets go
    // before that.
    // A hook may have ended already while an event loop ran (its exit was
    // noticed then), and waitForFinished reports that as a failure.
    if (hook->state() != QProcess::NotRunning && !hook->waitForFinished(600000)) {
        hook->kill();
        hook->waitForFinished(5000);
        fail(QStringLiteral("a hook script did not finish"));
    }
    const int exitCode = hook->exitStatus() == QProcess::NormalExit ? hook->exitCode() : -1;
    return HookRun{exitCode, hook->readAllStandardOutput()};
}

QJsonObject RelayProcess::claudeEvent(const QString& event, const QString& sessionId, const QJsonObject& fields)
{
    QJsonObject payload{
        {QStringLiteral("session_id"), sessionId},
        {QStringLiteral("transcript_path"), QStringLiteral("/home/dev/.claude/projects/api/%1.jsonl").arg(sessionId)},
        {QStringLiteral("cwd"), QStringLiteral("/home/dev/api")},
        {QStringLiteral("hook_event_name"), event},
        {QStringLiteral("permission_mode"), QStringLiteral("default")},
    };
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        payload.insert(it.key(), it.value());
    }
    return payload;
}

QJsonObject RelayProcess::claudePermissionRequest(const QString& sessionId)
{
    return claudeEvent(
        QStringLiteral("PermissionRequest"), sessionId,
        QJsonObject{{QStringLiteral("tool_name"), QStringLiteral("Bash")},
                    {QStringLiteral("tool_input"),
                     QJsonObject{{QStringLiteral("command"), QStringLiteral("rm -rf node_modules")},
                                 {QStringLiteral("description"), QStringLiteral("Remove node_modules directory")}}}});
}

RelayProcess::HookRun RelayProcess::submitCodexPrompt(const QString& threadId)
{
    return runHook(QStringLiteral("codex-notify.sh"),
                   QJsonObject{{QStringLiteral("session_id"), threadId},
                               {QStringLiteral("cwd"), QStringLiteral("/home/dev/web")},
                               {QStringLiteral("hook_event_name"), QStringLiteral("UserPromptSubmit")},
                               {QStringLiteral("prompt"), QStringLiteral("add dark mode")}},
                   {QStringLiteral("--hook")});
}

void RelayProcess::waitUntil(const std::function<bool()>& condition, const QString& what, int limitMs)
{
    const QDeadlineTimer deadline(limitMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            fail(QStringLiteral("gave up waiting for ") + what);
        }
        QTest::qWait(50);
    }
}

} // namespace idlewyn::testing
