#pragma once

#include "supervisor/relay_paths.h"
#include "supervisor/service_manager.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include <qcoro/qcorotask.h>

namespace vesperline {

// Puts the relay on this machine and controls it. The six relay files ship
// inside the program as Qt resources (":/relay/<name>"); the installer
// copies them to ~/.idlewyn-relay/bin and hands the running to the
// machine's ServiceManager (launchd, systemd or a detached process).
//
// The installer keeps no state of its own: everything is read from disk on
// each call, so copies are cheap and interchangeable. A coroutine operation
// uses the object it was called on until it finishes: call it on an object
// that lives that long (RelayMonitor runs each action on its own copy).
//
// Failures: InstallerError (texts below), FileSystemError for files and
// folders, ProcessLaunchError when a program cannot be started.
class RelayInstaller {
public:
    struct Options {
        // Default: QDir::homePath() at construction.
        QString home;
        // Where the relay files are looked up; default ":/relay".
        QString resourceDirectory;
        QString pythonExecutable = QStringLiteral("/usr/bin/python3");
        // Default: the manager this machine uses (serviceManagerForThisMachine).
        std::shared_ptr<const ServiceManager> serviceManager;
    };

    struct RelayFile {
        QString name;
        bool inHooksDirectory; // else in binDirectory
    };

    RelayInstaller();
    explicit RelayInstaller(Options options);

    // relay.py, apns.py (bin/); claude-hook.sh, claude-permission-hook.sh,
    // codex-notify.sh, claude-settings.example.json (bin/hooks/), in this order.
    static const QList<RelayFile>& relayFiles();

    const RelayPaths& paths() const { return m_paths; }
    QString supportDirectory() const { return m_paths.supportDirectory; }
    QString binDirectory() const { return m_paths.binDirectory; }
    QString hooksDirectory() const { return m_paths.hooksDirectory; }
    QString relayScript() const { return m_paths.relayScript; }
    // The relay's standard output and error; the menu's "Open Log" opens it.
    QString logFile() const { return m_paths.logFile; }
    QString pythonExecutable() const { return m_paths.pythonExecutable; }
    const ServiceManager& serviceManager() const { return *m_serviceManager; }

    // Checks Python, copies the files and (re)loads the service. Also the way
    // to update an installation and to replace a relay run from elsewhere.
    QCoro::Task<> start() const;
    // A full start when the service has no definition yet; otherwise the
    // service manager's restart.
    QCoro::Task<> restart() const;
    QCoro::Task<> stop() const;

    // Runs `python relay.py <arguments>` (installing the files first when they
    // are missing or out of date) and returns its combined output. A non-zero
    // exit fails as "relay.py <arguments> failed: <output>".
    QCoro::Task<QString> runRelay(QStringList arguments) const;

    // Whether any installed relay file differs from the program's copy
    // (a missing installed file differs).
    bool needsUpdate() const;
    bool fileDiffers(const QString& fileName, const QString& directory) const;
    // The relay script the service definition runs, if there is one.
    std::optional<QString> installedRelayPath() const;
    // The service runs this installation's relay.py.
    bool usesThisAppsRelay() const;
    // Re-copies the files of an existing, out-of-date installation; never
    // fails and does not restart the relay.
    void refreshFilesIfOutdated() const;

    // /usr/bin/python3 runs and is 3.9 or later; else InstallerError::noPython.
    QCoro::Task<> checkPython() const;
    // Creates the folders (0700 where created) and copies the six files
    // (scripts 0755, others 0644). Copies made before a failure stay.
    void installFiles() const;

private:
    QString resourcePath(const QString& fileName) const;
    QString destinationDirectory(const RelayFile& file) const;

    RelayPaths m_paths;
    QString m_resourceDirectory;
    std::shared_ptr<const ServiceManager> m_serviceManager;
};

} // namespace vesperline
