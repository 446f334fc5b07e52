#pragma once

#include "supervisor/file_defined_service_manager.h"

#include <QByteArray>
#include <QStringList>
#include <chrono>
#include <sys/types.h>

namespace vesperline {

// The relay as a per-user launch agent: a property list in
// ~/Library/LaunchAgents loaded into the gui/<uid> domain with launchctl.
// launchd starts the relay at load and keeps it alive.
class LaunchdServiceManager : public FileDefinedServiceManager {
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
    QString name() const override { return QStringLiteral("launchd"); }

    // The launch agent: home/Library/LaunchAgents/io.zembrix.idlewyn.relay.plist
    QString definitionFile() const override;
    // The agent's property list as XML: Label, ProgramArguments (python,
    // relay script), RunAtLoad, KeepAlive, ProcessType Background, and both
    // output paths on the log file. Nothing else: no environment, no
    // working directory.
    QByteArray definitionText() const override;
    // The second ProgramArguments entry of a property list (XML or binary).
    std::optional<QString> relayScriptIn(const QByteArray& plistData) const override;

    // "gui/<uid>" and "gui/<uid>/io.zembrix.idlewyn.relay"
    QString domainTarget() const;
    QString serviceTarget() const;

    // Runs launchctl; a non-zero exit fails as "launchctl <first argument>".
    QCoro::Task<QString> launchctl(QStringList arguments) const;
    QCoro::Task<> bootstrapWithRetry() const;

private:
    QStringList bootoutArguments() const;
    QStringList bootstrapArguments() const;
    QStringList kickstartArguments() const;

    Options m_options;
};

} // namespace vesperline
