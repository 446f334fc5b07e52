#include "single_instance.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace vesperline {

QString SingleInstance::defaultName()
{
    return QStringLiteral("vesperline-relay-%1").arg(::getuid());
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent)
    , m_name(std::move(name))
{
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::handOverToRunningInstance()
{
    {
        QLocalSocket socket;
        socket.connectToServer(m_name);
        if (socket.waitForConnected(500)) {
            socket.write("activate\n");
            socket.waitForBytesWritten(500);
            socket.disconnectFromServer();
            return true;
        }
    }
    // Nobody answers: a socket file left by a crashed instance must not keep
    // this one from listening.
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->listen(m_name);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains("activate")) {
                    emit activationRequested();
                }
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    return false;
}

} // namespace vesperline
