#include "supervisor/detached_service_manager.h"

#include "supervisor/installer_error.h"
#include "supervisor/process_runner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSaveFile>

#include <qcoro/qcorotimer.h>

#include <csignal>
#include <unistd.h>

namespace vesperline {

DetachedServiceManager::DetachedServiceManager(RelayPaths paths)
    : DetachedServiceManager(std::move(paths), Options{})
{
}

DetachedServiceManager::DetachedServiceManager(RelayPaths paths, Options options)
    : m_paths(std::move(paths))
    , m_options(options)
{
}

QString DetachedServiceManager::pidFile() const
{
    return m_paths.supportDirectory + QStringLiteral("/relay.pid");
}

std::optional<QStringList> DetachedServiceManager::commandLine(qint64 pid)
{
    if (pid <= 0) {
        return std::nullopt;
    }
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QByteArray data = file.readAll();
    if (data.isEmpty()) {
        return std::nullopt; // a zombie has no command line left
    }
    if (data.endsWith('\0')) {
        data.chop(1);
    }
    QStringList arguments;
    for (const QByteArray& argument : data.split('\0')) {
        arguments.append(QString::fromLocal8Bit(argument));
    }
    return arguments;
}

bool DetachedServiceManager::isOurRelay(qint64 pid) const
{
    const std::optional<QStringList> arguments = commandLine(pid);
    return arguments && *arguments == QStringList{m_paths.pythonExecutable, m_paths.relayScript};
}

std::optional<qint64> DetachedServiceManager::runningPid() const
{
    QFile file(pidFile());
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    bool ok = false;
    const qint64 pid = file.readAll().trimmed().toLongLong(&ok);
    if (!ok || pid <= 0 || !isOurRelay(pid)) {
        return std::nullopt;
    }
    return pid;
}

bool DetachedServiceManager::hasDefinition() const
{
    return QFileInfo::exists(pidFile());
}

std::optional<QString> DetachedServiceManager::installedRelayPath() const
{
    if (runningPid()) {
        return m_paths.relayScript;
    }
    return std::nullopt;
}

QCoro::Task<> DetachedServiceManager::terminate(qint64 pid) const
{
    static constexpr int endingSignals[] = {SIGTERM, SIGKILL};
    for (const int signalNumber : endingSignals) {
        // Checked right before each signal: the pid must still be our relay.
        if (!isOurRelay(pid)) {
            co_return;
        }
        ::kill(static_cast<pid_t>(pid), signalNumber);
        QElapsedTimer waited;
        waited.start();
        while (isOurRelay(pid) && waited.elapsed() < m_options.stopGrace.count()) {
            co_await QCoro::sleepFor(m_options.stopPoll);
        }
    }
    if (isOurRelay(pid)) {
        throw FileSystemError(QStringLiteral("The relay (process %1) did not end.").arg(pid));
    }
}

void DetachedServiceManager::launch() const
{
    QProcess process;
    process.setProgram(m_paths.pythonExecutable);
    process.setArguments({m_paths.relayScript});
    process.setWorkingDirectory(m_paths.supportDirectory);
    // The relay finds its directory through HOME; keep it on this installation.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_paths.home);
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(m_paths.logFile, QIODevice::Append);
    process.setStandardErrorFile(m_paths.logFile, QIODevice::Append);

    // startDetached runs the program as a daemon: in a new session (Qt calls
    // setsid in the intermediate child), without a controlling terminal and
    // reparented away from us, so it lives on when the application or its
    // terminal goes.
    qint64 pid = 0;
    if (!process.startDetached(&pid)) {
        throw ProcessLaunchError(process.errorString());
    }
    QSaveFile file(pidFile());
    const QByteArray text = QByteArray::number(pid) + '\n';
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        throw FileSystemError(QStringLiteral("Could not write %1: %2").arg(pidFile(), file.errorString()));
    }
}

QCoro::Task<> DetachedServiceManager::start() const
{
    if (const std::optional<qint64> pid = runningPid()) {
        co_await terminate(*pid);
    }
    launch();
}

QCoro::Task<> DetachedServiceManager::restart() const
{
    co_await start();
}

QCoro::Task<> DetachedServiceManager::stop() const
{
    const std::optional<qint64> pid = runningPid();
    if (!pid) {
        QFile::remove(pidFile());
        throw InstallerError::notRunning();
    }
    co_await terminate(*pid);
    QFile::remove(pidFile());
}

} // namespace vesperline
