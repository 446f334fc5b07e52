#include "supervisor/relay_paths.h"

namespace vesperline {

RelayPaths RelayPaths::forHome(const QString& home, const QString& pythonExecutable)
{
    RelayPaths paths;
    paths.home = home;
    paths.supportDirectory = home + QStringLiteral("/.idlewyn-relay");
    paths.binDirectory = paths.supportDirectory + QStringLiteral("/bin");
    paths.hooksDirectory = paths.binDirectory + QStringLiteral("/hooks");
    paths.relayScript = paths.binDirectory + QStringLiteral("/relay.py");
    paths.logFile = paths.supportDirectory + QStringLiteral("/relay.log");
    paths.pythonExecutable = pythonExecutable;
    return paths;
}

} // namespace vesperline
