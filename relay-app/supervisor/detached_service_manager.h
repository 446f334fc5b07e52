#pragma once

#include "supervisor/service_manager.h"

#include <QStringList>
#include <chrono>

namespace vesperline {

// The relay as a plain background process, for machines where no user
// service manager answers (containers, minimal installs, CI). It runs in a
// session of its own, so it outlives the application and its terminal, with
// its output appended to relay.log and its pid in relay.pid. Nothing
// restarts it if it ends, and it does not come back at login.
//
// The pid file alone is never trusted: a pid is signalled only while its
// command line is exactly `pythonExecutable relayScript`, so a stale file
// whose pid now belongs to another program leaves that program alone.
class DetachedServiceManager : public ServiceManager {
public:
    struct Options {
        // How long a relay gets to end after SIGTERM before it gets SIGKILL.
        std::chrono::milliseconds stopGrace{5000};
        std::chrono::milliseconds stopPoll{50};
    };

    explicit DetachedServiceManager(RelayPaths paths);
    DetachedServiceManager(RelayPaths paths, Options options);

    // Ends the relay we run, if any, and launches a new one.
    QCoro::Task<> start() const override;
    QCoro::Task<> restart() const override;
    // Ends the relay we run and removes the pid file; fails when none runs.
    QCoro::Task<> stop() const override;
    // A pid file exists (the relay was started here and not stopped since).
    bool hasDefinition() const override;
    // The relay script while the relay we started is running.
    std::optional<QString> installedRelayPath() const override;
    QString name() const override { return QStringLiteral("detached"); }

    QString pidFile() const; // supportDirectory/relay.pid
    // The pid of the pid file while that process is our relay.
    std::optional<qint64> runningPid() const;
    // A process's arguments, argv[0] first; none when it is gone (or a zombie).
    static std::optional<QStringList> commandLine(qint64 pid);

private:
    bool isOurRelay(qint64 pid) const;
    QCoro::Task<> terminate(qint64 pid) const;
    void launch() const;

    RelayPaths m_paths;
    Options m_options;
};

} // namespace vesperline
