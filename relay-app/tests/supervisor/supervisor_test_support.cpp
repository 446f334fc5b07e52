#include "supervisor_test_support.h"

#include "supervisor/admin_client.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTest>

#include <csignal>
#include <stdexcept>
#include <sys/stat.h>

namespace vesperline::fixtures {

QString freshHome()
{
    const QString home = QDir::homePath();
    if (!home.startsWith(QDir::tempPath() + u'/')) {
        throw std::runtime_error("HOME is not a temporary directory"); // never empty a real home
    }
    QDir(home).removeRecursively();
    QDir().mkpath(home + QStringLiteral("/.config"));
    return home;
}

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size()) {
        throw std::runtime_error("cannot write " + path.toStdString());
    }
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int modeOf(const QString& path)
{
    struct stat info { };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

bool waitUntil(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 15000);
}

QString closedPortUrl()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort()); // closed when probe goes
}

Status sampleStatus(const QList<idlewyn::AgentSession>& sessions)
{
    Status status;
    status.version = QStringLiteral("1.0.0");
    status.sessions = sessions;
    status.pairingLink = QStringLiteral("idlewyn://pair?url=http%3A%2F%2F127.0.0.1%3A8787&code=C0DE");
    status.pairingCode = QStringLiteral("C0DE");
    status.tlsFingerprint = QStringLiteral("ab12");
    status.tokens = {PairedToken{QStringLiteral("t1"), QStringLiteral("codex"), QStringLiteral("2026-01-01T00:00:00Z"),
                                 std::nullopt}};
    return status;
}

QByteArray statusDocument(const QList<idlewyn::AgentSession>& sessions)
{
    return idlewyn::json::relay.encode(sampleStatus(sessions));
}

FakeTool::FakeTool(const QString& name)
    : m_name(name)
{
    writeFile(path(),
              "#!/bin/sh\n"
              "dir='"
                  + m_directory.path().toUtf8()
                  + "'\n"
                    "printf '%s\\n' \"$*\" >> \"$dir/calls.log\"\n"
                    "verb=$1; [ \"$verb\" = --user ] && verb=$2\n"
                    "n=$(( $(cat \"$dir/count-$verb\" 2>/dev/null || echo 0) + 1 )); echo $n > \"$dir/count-$verb\"\n"
                    "left=$(cat \"$dir/fail-$verb\" 2>/dev/null || echo 0)\n"
                    "if [ \"$left\" -gt 0 ]; then\n"
                    "  echo $((left - 1)) > \"$dir/fail-$verb\"; echo \"$verb refused (call $n)\" >&2; exit 5\n"
                    "fi\n");
    QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QStringList FakeTool::calls() const
{
    const QByteArray log = readFile(m_directory.filePath(QStringLiteral("calls.log")));
    return QString::fromUtf8(log).split(u'\n', Qt::SkipEmptyParts);
}

void FakeTool::failNext(const QString& verb, int count)
{
    writeFile(m_directory.filePath(QStringLiteral("fail-") + verb), QByteArray::number(count));
}

QString fakePython(const QString& directory, const QByteArray& script)
{
    const QString path = directory + QStringLiteral("/python3");
    writeFile(path, "#!/bin/sh\n" + script + "\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

namespace {
RelayInstaller detachedInstaller(const QString& home, std::shared_ptr<DetachedServiceManager> manager)
{
    RelayInstaller::Options options;
    options.home = home;
    options.serviceManager = std::move(manager);
    return RelayInstaller(options);
}
} // namespace

RunningRelay::RunningRelay(const QString& home, bool tls)
    : manager(std::make_shared<DetachedServiceManager>(
        RelayPaths::forHome(home),
        DetachedServiceManager::Options{std::chrono::seconds(5), std::chrono::milliseconds(20)}))
    , installer(detachedInstaller(home, manager))
{
    QFile::remove(installer.supportDirectory() + QStringLiteral("/relay-url")); // only the relay's own counts
    writeFile(installer.supportDirectory() + QStringLiteral("/config.json"),
              QByteArray(R"({"port": 0, "host": "127.0.0.1", "advertiseHost": "127.0.0.1", "tls": )")
                  + (tls ? "true}" : "false}"));
    const auto started = outcomeOf(installer.start());
    if (!started.value) {
        throw std::runtime_error("the relay did not start: " + started.errorText().toStdString());
    }
}

RunningRelay::~RunningRelay()
{
    if (const std::optional<qint64> pid = manager->runningPid()) {
        ::kill(static_cast<pid_t>(*pid), SIGKILL);
    }
}

bool RunningRelay::answers() const
{
    // Never the default port: only a relay-url the relay wrote.
    const AdminClient client(installer.supportDirectory());
    const QString url = installer.supportDirectory() + QStringLiteral("/relay-url");
    return waitUntil([&] { return QFile::exists(url) && outcomeOf(client.fetchStatus()).value.has_value(); });
}

qint64 sessionIdOf(qint64 pid)
{
    // "pid (comm) state ppid pgrp session ...", and comm may hold spaces.
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return stat.isEmpty() || fields.size() < 4 ? -1 : fields.at(3).toLongLong();
}

bool processExists(qint64 pid)
{
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close >= 0 && stat.size() > close + 2 && stat.at(close + 2) != 'Z';
}

} // namespace vesperline::fixtures
