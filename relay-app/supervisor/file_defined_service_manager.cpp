#include "supervisor/file_defined_service_manager.h"

#include "supervisor/installer_error.h"
#include "supervisor/process_runner.h"

#include <QFile>
#include <QFileInfo>

namespace vesperline {

FileDefinedServiceManager::FileDefinedServiceManager(RelayPaths paths)
    : m_paths(std::move(paths))
{
}

void FileDefinedServiceManager::writeDefinition() const
{
    writeFileReplacing(definitionFile(), definitionText());
}

bool FileDefinedServiceManager::hasDefinition() const
{
    return QFileInfo::exists(definitionFile());
}

std::optional<QString> FileDefinedServiceManager::installedRelayPath() const
{
    QFile file(definitionFile());
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return relayScriptIn(file.readAll());
}

QCoro::Task<QString> FileDefinedServiceManager::runTool(QString tool, QString label, QStringList arguments)
{
    const ProcessResult result = co_await runProcess(std::move(tool), std::move(arguments));
    if (!result.succeeded()) {
        throw InstallerError::command(label, result.output);
    }
    co_return result.output;
}

} // namespace vesperline
