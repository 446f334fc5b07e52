#pragma once

#include "supervisor/service_manager.h"

#include <QByteArray>
#include <QStringList>

namespace vesperline {

// The relay as a systemd user service: a unit file in
// ~/.config/systemd/user that runs python on the installed relay.py,
// restarts it whenever it ends, appends its output to relay.log and is
// wanted by default.target so it comes back at the next login, like a
// launch agent with RunAtLoad and KeepAlive.
class SystemdServiceManager : public ServiceManager {
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
    bool hasDefinition() const override;
    std::optional<QString> installedRelayPath() const override;
    QString name() const override { return QStringLiteral("systemd"); }

    // home/.config/systemd/user/io.zembrix.idlewyn.relay.service
    QString unitFile() const;
    static QString unitName(); // io.zembrix.idlewyn.relay.service

    QByteArray unitText() const;
    // The script argument of the ExecStart line of a unit file's text.
    static std::optional<QString> programPathIn(const QByteArray& unitText);

    void writeUnit() const;
    // Runs `systemctl --user <arguments>`; a non-zero exit fails as
    // "systemctl <first argument>".
    QCoro::Task<QString> systemctl(QStringList arguments) const;

private:
    RelayPaths m_paths;
    Options m_options;
};

} // namespace vesperline
