#pragma once

#include "supervisor/file_defined_service_manager.h"

#include <QByteArray>
#include <QStringList>

namespace vesperline {

// The relay as a systemd user service: a unit file in
// ~/.config/systemd/user that runs python on the installed relay.py,
// restarts it whenever it ends, appends its output to relay.log and is
// wanted by default.target so it comes back at the next login, like a
// launch agent with RunAtLoad and KeepAlive.
class SystemdServiceManager : public FileDefinedServiceManager {
public:
    struct Options {
        QString systemctl = QStringLiteral("/usr/bin/systemctl");
    };

    explicit SystemdServiceManager(RelayPaths paths);
    SystemdServiceManager(RelayPaths paths, Options options);

    // Writes the unit, reloads systemd, enables the unit and (re)starts it.
    QCoro::Task<> start() const override;
    QCoro::Task<> restart() const override;
    QCoro::Task<> stop() const override;
    QString name() const override { return QStringLiteral("systemd"); }

    // The unit: home/.config/systemd/user/io.zembrix.idlewyn.relay.service
    QString definitionFile() const override;
    // Fails with FileSystemError for a path holding a line break.
    QByteArray definitionText() const override;
    // The script argument of the ExecStart line of a unit file's text.
    std::optional<QString> relayScriptIn(const QByteArray& unitText) const override;

    static QString unitName(); // io.zembrix.idlewyn.relay.service
    // Runs `systemctl --user <arguments>`; a non-zero exit fails as
    // "systemctl <first argument>".
    QCoro::Task<QString> systemctl(QStringList arguments) const;

private:
    Options m_options;
};

} // namespace vesperline
