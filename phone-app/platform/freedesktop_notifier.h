#pragma once

#include "platform/notifier.h"

#include <QDBusConnection>
#include <QHash>
#include <QSet>

namespace vesperline {

// Notifications through org.freedesktop.Notifications on the session bus, as
// every Linux desktop and phone shell provides them. Without a notification
// server the alerts are lost quietly: the app itself still shows everything.
class FreedesktopNotifier final : public Notifier {
    Q_OBJECT

public:
    // desktopEntry: the app's desktop file name, so the server shows its name
    // and icon; empty takes the application's desktopFileName.
    explicit FreedesktopNotifier(QDBusConnection bus = QDBusConnection::sessionBus(), QString desktopEntry = {},
                                 QObject* parent = nullptr);

    void show(const Alert& alert) override;
    void withdraw(const QString& alertId) override;

private slots:
    void onActionInvoked(uint id, const QString& actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    void close(uint id);
    // What the server says of a notification of ours: an action, or closed
    // (an empty action).
    void settle(const QString& alertId, uint id, const QString& actionKey);

    QDBusConnection m_bus;
    QString m_desktopEntry;
    QHash<QString, uint> m_ids; // alert id -> the server's notification id
    // Alerts shown whose id the server has not told yet; a withdraw meanwhile
    // closes the notification once the id comes.
    QSet<QString> m_pending;
    QSet<QString> m_withdrawnWhilePending;
    // Ids the server has closed (an action invoked, or closed), so that the
    // late reply to a Notify that replaced one of them does not bring it back.
    QSet<uint> m_gone;
    // Signals for an id we do not know while a Notify is pending: QtDBus may
    // deliver a signal before the reply that names the id, so they wait for it.
    QHash<uint, QString> m_early;
};

} // namespace vesperline
