#include "supervisor/service_manager.h"

#include "supervisor/detached_service_manager.h"
#include "supervisor/launchd_service_manager.h"
#include "supervisor/systemd_service_manager.h"

#include <QFileInfo>
#include <QtGlobal>

#include <unistd.h>

namespace vesperline {

ServiceManager::~ServiceManager() = default;

bool systemdUserManagerRuns(const QString& runtimeDirectory)
{
    if (runtimeDirectory.isEmpty()) {
        return false;
    }
    // systemd --user creates this socket when it starts and removes it when it
    // ends; systemctl --user falls back to it when no user bus is there.
    return QFileInfo::exists(runtimeDirectory + QStringLiteral("/systemd/private"));
}

std::shared_ptr<const ServiceManager> serviceManagerForThisMachine(const RelayPaths& paths)
{
#ifdef Q_OS_MACOS
    return std::make_shared<LaunchdServiceManager>(paths);
#else
    QString runtimeDirectory = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtimeDirectory.isEmpty()) {
        runtimeDirectory = QStringLiteral("/run/user/%1").arg(::getuid());
    }
    if (systemdUserManagerRuns(runtimeDirectory)) {
        return std::make_shared<SystemdServiceManager>(paths);
    }
    return std::make_shared<DetachedServiceManager>(paths);
#endif
}

} // namespace vesperline
