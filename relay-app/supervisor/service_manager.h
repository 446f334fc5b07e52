#pragma once

#include "supervisor/relay_paths.h"

#include <QString>
#include <memory>
#include <optional>

#include <qcoro/qcorotask.h>

namespace vesperline {

// What keeps the relay running: launchd on macOS, a systemd user unit where
// a systemd user manager runs, or a detached process otherwise. Each one
// runs `pythonExecutable relayScript` with its output appended to logFile,
// and all three keep the same contract towards RelayInstaller, which has
// already checked Python and copied the files before start() runs:
//
//  - start() writes the service's definition and (re)loads it, replacing a
//    relay this manager already runs (so it also updates and takes over);
//  - restart() restarts a defined service; RelayInstaller runs a full start
//    instead when hasDefinition() is false;
//  - stop() ends the relay; it fails when there is nothing of ours to stop
//    (for launchd: an agent that is not loaded).
//
// Failures are InstallerError::command ("<tool> <verb> failed: <output>"),
// ProcessLaunchError when the tool cannot be run, FileSystemError when the
// definition cannot be written. Operations are coroutines on the caller's
// thread; keep the manager alive until they finish (RelayInstaller holds it
// through a shared pointer).
class ServiceManager {
public:
    virtual ~ServiceManager();

    virtual QCoro::Task<> start() const = 0;
    virtual QCoro::Task<> restart() const = 0;
    virtual QCoro::Task<> stop() const = 0;

    virtual bool hasDefinition() const = 0;
    // The relay script the service definition runs; none when there is no
    // definition or it cannot be read.
    virtual std::optional<QString> installedRelayPath() const = 0;
    // "launchd", "systemd" or "detached"; for logs and tests.
    virtual QString name() const = 0;
};

// The manager this machine uses: launchd on macOS; elsewhere systemd when a
// systemd user manager runs for this user (its private socket exists under
// the runtime directory, which is what `systemctl --user` talks to), and a
// detached process otherwise (containers, minimal installs, CI).
std::shared_ptr<const ServiceManager> serviceManagerForThisMachine(const RelayPaths& paths);

// The Linux choice on its own, for a given runtime directory
// ($XDG_RUNTIME_DIR, normally /run/user/<uid>).
bool systemdUserManagerRuns(const QString& runtimeDirectory);

} // namespace vesperline
