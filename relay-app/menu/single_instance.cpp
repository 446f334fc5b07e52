#include "menu/single_instance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#include <qcoro/qcorolocalsocket.h>
#include <qcoro/qcorosignal.h>

#include <chrono>

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

namespace {

// How long a running instance gets to take the call and the message. A
// local socket answers at once; the limit only covers a hung instance.
constexpr std::chrono::milliseconds answerLimit{500};

// Asks the instance listening under `name` to show itself; false when none
// takes the call.
QCoro::Task<bool> askToActivate(QString name)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    // A refused call ends in Unconnected without a `connected` signal, so
    // wait for the state to leave Connecting rather than for the connection.
    // (No co_await inside a condition: GCC 12 miscompiles it.)
    while (socket.state() == QLocalSocket::ConnectingState) {
        const auto changed = co_await qCoro(&socket, &QLocalSocket::stateChanged, answerLimit);
        if (!changed) {
            break;
        }
    }
    if (socket.state() != QLocalSocket::ConnectedState) {
        co_return false;
    }
    socket.write("activate\n");
    if (socket.bytesToWrite() > 0) {
        co_await qCoro(socket).waitForBytesWritten(answerLimit);
    }
    socket.disconnectFromServer();
    co_return true;
}

} // namespace

QCoro::Task<bool> SingleInstance::handOverToRunningInstance()
{
    QPointer<SingleInstance> self(this);
    const bool handedOver = co_await askToActivate(m_name);
    if (handedOver || !self) {
        co_return handedOver;
    }
    // Nobody answers: a socket file left by a crashed instance must not keep
    // this one from listening.
    self->listen();
    co_return false;
}

void SingleInstance::listen()
{
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
}

} // namespace vesperline
