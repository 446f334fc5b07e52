#include "menu/tray_watch.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <memory>

namespace vesperline {

namespace {

// The X screen Qt opened: the number after the dot of DISPLAY, else 0.
int x11ScreenNumber()
{
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype colon = display.lastIndexOf(':');
    const qsizetype dot = display.indexOf('.', colon < 0 ? 0 : colon);
    bool ok = false;
    const int screen = dot < 0 ? 0 : display.mid(dot + 1).toInt(&ok);
    return ok ? screen : 0;
}

} // namespace

TrayWatch::TrayWatch(int intervalMs, QObject* parent)
    : QObject(parent)
{
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &TrayWatch::check);
}

void TrayWatch::start()
{
    m_timer.start();
    check();
}

bool TrayWatch::xembedTrayPresent()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) {
        return false;
    }
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(x11ScreenNumber());
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, name.size(), name.constData()), nullptr),
        &free);
    if (!atom) {
        return false;
    }
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr), &free);
    return owner && owner->owner != XCB_NONE;
}

void TrayWatch::check()
{
    if (m_appeared) {
        return;
    }
    if (xembedTrayPresent()) {
        found();
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || m_busQueryPending) {
        return;
    }
    QDBusMessage query = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    query << QStringLiteral("org.kde.StatusNotifierWatcher") << QStringLiteral("IsStatusNotifierHostRegistered");
    m_busQueryPending = true;
    auto* call = new QDBusPendingCallWatcher(bus.asyncCall(query, m_timer.interval()), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        m_busQueryPending = false;
        const QDBusPendingReply<QDBusVariant> reply = *finished;
        if (!reply.isError() && reply.value().variant().toBool()) {
            found();
        }
    });
}

void TrayWatch::found()
{
    if (m_appeared) {
        return;
    }
    m_appeared = true;
    m_timer.stop();
    emit appeared();
}

} // namespace vesperline
