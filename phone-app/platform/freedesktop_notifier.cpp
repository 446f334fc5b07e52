#include "platform/freedesktop_notifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QPointer>
#include <QVariantMap>

namespace vesperline {

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");
const QString defaultAction = QStringLiteral("default");
const QString allowAction = QStringLiteral("allow");
const QString denyAction = QStringLiteral("deny");

} // namespace

FreedesktopNotifier::FreedesktopNotifier(QDBusConnection bus, QString desktopEntry, QObject* parent)
    : Notifier(parent)
    , m_bus(std::move(bus))
    , m_desktopEntry(desktopEntry.isEmpty() ? QGuiApplication::desktopFileName() : std::move(desktopEntry))
{
    m_bus.connect(service, path, interface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(service, path, interface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onNotificationClosed(uint, uint)));
}

void FreedesktopNotifier::show(const Alert& alert)
{
    // "default" is the click on the notification itself; servers that draw
    // actions as buttons leave it out of the row.
    QStringList actions{defaultAction, QStringLiteral("Open")};
    if (alert.isPrompt()) {
        actions << allowAction << QStringLiteral("Allow") << denyAction << QStringLiteral("Deny");
    }
    QVariantMap hints;
    if (!m_desktopEntry.isEmpty()) {
        hints.insert(QStringLiteral("desktop-entry"), m_desktopEntry);
    }
    // A held prompt keeps an agent waiting: it stays until answered or withdrawn.
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(alert.isPrompt() ? 2 : 1));

    const uint replaces = m_ids.value(alert.id, 0u);
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Notify"));
    call << QGuiApplication::applicationDisplayName() << replaces << QString() << alert.title << alert.body << actions
         << hints << qint32(-1);
    m_pending.insert(alert.id);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    const QString alertId = alert.id;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, alertId, replaces](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        m_pending.remove(alertId);
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            m_withdrawnWhilePending.remove(alertId);
            return;
        }
        const bool withdrawn = m_withdrawnWhilePending.remove(alertId);
        // The replaced notification was clicked or closed before this reply
        // came: it is gone, and so is its replacement, which kept its id.
        // Closing that id now could close a stranger's.
        if (replaces != 0 && reply.value() == replaces && m_gone.remove(replaces)) {
            return;
        }
        if (withdrawn) {
            m_early.remove(reply.value());
            close(reply.value());
            return;
        }
        m_ids.insert(alertId, reply.value());
        const auto early = m_early.constFind(reply.value());
        if (early != m_early.constEnd()) {
            const QString actionKey = *early;
            m_early.erase(early);
            settle(alertId, reply.value(), actionKey);
        }
        if (m_pending.isEmpty()) {
            m_early.clear(); // signals of notifications that were never ours
        }
    });
}

void FreedesktopNotifier::withdraw(const QString& alertId)
{
    if (m_pending.contains(alertId)) {
        m_withdrawnWhilePending.insert(alertId);
    }
    const auto it = m_ids.constFind(alertId);
    if (it == m_ids.constEnd()) {
        return;
    }
    const uint id = *it;
    m_ids.erase(it);
    close(id);
}

void FreedesktopNotifier::close(uint id)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("CloseNotification"));
    call << id;
    m_bus.asyncCall(call);
}

void FreedesktopNotifier::onActionInvoked(uint id, const QString& actionKey)
{
    const QString alertId = m_ids.key(id);
    if (alertId.isEmpty()) {
        if (!m_pending.isEmpty()) {
            m_early.insert(id, actionKey); // maybe ours, its reply still on its way
        }
        return; // otherwise another application's notification
    }
    settle(alertId, id, actionKey);
}

void FreedesktopNotifier::onNotificationClosed(uint id, uint)
{
    const QString alertId = m_ids.key(id);
    if (alertId.isEmpty()) {
        if (!m_pending.isEmpty() && !m_early.contains(id)) {
            m_early.insert(id, QString());
        }
        return;
    }
    settle(alertId, id, QString());
}

void FreedesktopNotifier::settle(const QString& alertId, uint id, const QString& actionKey)
{
    // The server removes a notification once one of its actions is invoked
    // (we never ask for "resident"), and its NotificationClosed may come
    // later than our next withdraw: forget it now, so that a withdraw never
    // closes an id the server may already have given to someone else.
    m_ids.remove(alertId);
    m_gone.insert(id);
    if (actionKey == defaultAction) {
        emit activated(alertId);
    } else if (actionKey == allowAction || actionKey == denyAction) {
        emit actionInvoked(alertId, actionKey);
    }
}

} // namespace vesperline
