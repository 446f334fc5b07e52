#pragma once

#include <QString>

namespace vesperline {

// Where an installation of the relay lives for one home directory. The
// relay writes hook-secret, relay-url, relay-cert.pem and relay.log into
// supportDirectory itself; the installer writes bin/.
struct RelayPaths {
    QString home;
    QString supportDirectory; // home/.idlewyn-relay
    QString binDirectory;     // supportDirectory/bin
    QString hooksDirectory;   // binDirectory/hooks
    QString relayScript;      // binDirectory/relay.py
    QString logFile;          // supportDirectory/relay.log
    QString pythonExecutable; // /usr/bin/python3 unless a test says otherwise

    static RelayPaths forHome(const QString& home,
                              const QString& pythonExecutable = QStringLiteral("/usr/bin/python3"));

    bool operator==(const RelayPaths&) const = default;
};

// The service label, also the name of the launch agent and the systemd unit.
inline const QString relayServiceLabel = QStringLiteral("io.zembrix.idlewyn.relay");

} // namespace vesperline
