#include "supervisor/relay_installer.h"

#include "supervisor/installer_error.h"
#include "supervisor/process_runner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace vesperline {

namespace {

void setMode(const QString& path, mode_t mode)
{
    if (::chmod(QFile::encodeName(path).constData(), mode) != 0) {
        throw FileSystemError(QStringLiteral("Could not set the permissions of %1: %2")
                                  .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
}

// Creates `directory` and any missing parents, each one it creates with the
// given mode exactly (no umask).
void makeDirectories(const QString& directory, mode_t mode)
{
    QStringList missing;
    for (QString path = QDir::cleanPath(directory); !QFileInfo::exists(path);) {
        missing.prepend(path);
        const QString parent = QFileInfo(path).path();
        if (parent == path) {
            break;
        }
        path = parent;
    }
    for (const QString& path : missing) {
        if (!QDir().mkdir(path)) {
            throw FileSystemError(QStringLiteral("Could not create the folder %1.").arg(path));
        }
        setMode(path, mode);
    }
}

std::optional<QByteArray> contents(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

QStringList versionCheckArguments()
{
    return {QStringLiteral("-c"), QStringLiteral("import sys; assert sys.version_info >= (3, 9)")};
}

} // namespace

RelayInstaller::RelayInstaller()
    : RelayInstaller(Options{})
{
}

RelayInstaller::RelayInstaller(Options options)
    : m_paths(RelayPaths::forHome(options.home.isEmpty() ? QDir::homePath() : options.home, options.pythonExecutable))
    , m_resourceDirectory(options.resourceDirectory.isEmpty() ? QStringLiteral(":/relay") : options.resourceDirectory)
    , m_serviceManager(options.serviceManager ? std::move(options.serviceManager)
                                              : serviceManagerForThisMachine(m_paths))
{
}

const QList<RelayInstaller::RelayFile>& RelayInstaller::relayFiles()
{
    static const QList<RelayFile> files{
        {QStringLiteral("relay.py"), false},       {QStringLiteral("apns.py"), false},
        {QStringLiteral("claude-hook.sh"), true},  {QStringLiteral("claude-permission-hook.sh"), true},
        {QStringLiteral("codex-notify.sh"), true}, {QStringLiteral("claude-settings.example.json"), true},
    };
    return files;
}

QString RelayInstaller::resourcePath(const QString& fileName) const
{
    return m_resourceDirectory + u'/' + fileName;
}

QString RelayInstaller::destinationDirectory(const RelayFile& file) const
{
    return file.inHooksDirectory ? m_paths.hooksDirectory : m_paths.binDirectory;
}

QCoro::Task<> RelayInstaller::checkPython() const
{
    const QString python = m_paths.pythonExecutable;
    const QStringList arguments = versionCheckArguments();
    ProcessResult result;
    try {
        result = co_await runProcess(python, arguments);
    } catch (const ProcessLaunchError&) {
        throw InstallerError::noPython();
    }
    if (!result.succeeded()) {
        throw InstallerError::noPython();
    }
}

void RelayInstaller::installFiles() const
{
    makeDirectories(m_paths.hooksDirectory, 0700);
    for (const RelayFile& file : relayFiles()) {
        const QString source = resourcePath(file.name);
        if (!QFileInfo::exists(source)) {
            throw InstallerError::missingResource(file.name);
        }
        const QString destination = destinationDirectory(file) + u'/' + file.name;
        QFile::remove(destination); // QFile::copy never overwrites
        QFile sourceFile(source);
        if (!sourceFile.copy(destination)) {
            throw FileSystemError(
                QStringLiteral("Could not copy %1 to %2: %3").arg(file.name, destination, sourceFile.errorString()));
        }
        setMode(destination, file.name.endsWith(QStringLiteral(".sh")) ? 0755 : 0644);
    }
}

bool RelayInstaller::fileDiffers(const QString& fileName, const QString& directory) const
{
    const QString source = resourcePath(fileName);
    if (!QFileInfo::exists(source)) {
        return false;
    }
    const std::optional<QByteArray> bundled = contents(source);
    const std::optional<QByteArray> installed = contents(directory + u'/' + fileName);
    if (bundled.has_value() != installed.has_value()) {
        return true;
    }
    return bundled && *bundled != *installed;
}

bool RelayInstaller::needsUpdate() const
{
    for (const RelayFile& file : relayFiles()) {
        if (fileDiffers(file.name, destinationDirectory(file))) {
            return true;
        }
    }
    return false;
}

std::optional<QString> RelayInstaller::installedRelayPath() const
{
    return m_serviceManager->installedRelayPath();
}

bool RelayInstaller::usesThisAppsRelay() const
{
    const std::optional<QString> path = installedRelayPath();
    return path && *path == m_paths.relayScript;
}

void RelayInstaller::refreshFilesIfOutdated() const
{
    if (!QFileInfo::exists(m_paths.relayScript) || !needsUpdate()) {
        return;
    }
    try {
        installFiles();
    } catch (const idlewyn::Error&) {
        // The next start installs again and reports what goes wrong then.
    }
}

QCoro::Task<> RelayInstaller::start() const
{
    const std::shared_ptr<const ServiceManager> manager = m_serviceManager;
    co_await checkPython();
    installFiles();
    co_await manager->start();
}

QCoro::Task<> RelayInstaller::restart() const
{
    const std::shared_ptr<const ServiceManager> manager = m_serviceManager;
    if (!manager->hasDefinition()) {
        co_await start();
        co_return;
    }
    co_await manager->restart();
}

QCoro::Task<> RelayInstaller::stop() const
{
    const std::shared_ptr<const ServiceManager> manager = m_serviceManager;
    co_await manager->stop();
}

QCoro::Task<QString> RelayInstaller::runRelay(QStringList arguments) const
{
    if (!QFileInfo::exists(m_paths.relayScript) || needsUpdate()) {
        installFiles();
    }
    const QString label = QStringLiteral("relay.py ") + arguments.join(u' ');
    QStringList processArguments = arguments;
    processArguments.prepend(m_paths.relayScript);
    const ProcessResult result = co_await runProcess(m_paths.pythonExecutable, processArguments);
    if (!result.succeeded()) {
        throw InstallerError::command(label, result.output);
    }
    co_return result.output;
}

} // namespace vesperline
