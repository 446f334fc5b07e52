#include "app/launch_handover.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QtGlobal>
#include <unistd.h>

namespace vesperline {

namespace {
// Only a launch that finds the running client waits, and only this long: a
// client that hangs must not keep the desktop's link handler hanging too.
constexpr int handoverMs = 2000;
} // namespace

LaunchHandover::LaunchHandover(QString name, QObject* parent)
    : QObject(parent)
    , m_name(std::move(name))
{
}

LaunchHandover::~LaunchHandover() = default;

QString LaunchHandover::defaultName()
{
    return QStringLiteral("io.zembrix.vesperline-%1").arg(::getuid());
}

bool LaunchHandover::handOver(const QString& message)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (socket.waitForConnected(handoverMs)) {
        socket.write(message.toUtf8() + '\n');
        if (socket.waitForBytesWritten(handoverMs)) {
            // The running client closes the socket once it has read the line.
            socket.waitForDisconnected(handoverMs);
            return true;
        }
    }
    // Nobody answers: a socket file left by a client that crashed.
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->listen(m_name);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            QPointer<QLocalSocket> guarded(peer);
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, guarded] {
                if (!guarded || !guarded->canReadLine()) {
                    return;
                }
                const QString line = QString::fromUtf8(guarded->readLine()).trimmed();
                guarded->disconnectFromServer();
                emit received(line);
            });
        }
    });
    return false;
}

} // namespace vesperline
