#include "scripted_server.h"

#include <QHostAddress>
#include <QSslConfiguration>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <stdexcept>

namespace idlewyn::testing {

std::optional<QByteArray> ScriptedServer::Request::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

QByteArray ScriptedServer::httpResponse(int status, const QByteArray& body)
{
    return "HTTP/1.1 " + QByteArray::number(status) + " Scripted\r\nContent-Type: application/json\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

ScriptedServer::ScriptedServer(std::optional<TestCertificate> tls, QObject* parent)
    : QObject(parent)
    , m_tls(std::move(tls))
{
    respond(200, "{\"ok\":true}");
    if (m_tls) {
        auto* server = new QSslServer(this);
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(m_tls->certificate);
        configuration.setPrivateKey(m_tls->key);
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        server->setSslConfiguration(configuration);
        m_server = server;
    } else {
        m_server = new QTcpServer(this);
    }
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket* socket = m_server->nextPendingConnection()) {
            handle(socket);
        }
    });
    if (!m_server->listen(QHostAddress::LocalHost, 0)) {
        throw std::runtime_error("scripted server cannot listen");
    }
}

ScriptedServer::~ScriptedServer() = default;

QUrl ScriptedServer::baseUrl() const
{
    return QUrl(QStringLiteral("%1://127.0.0.1:%2")
                    .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
                    .arg(m_server->serverPort()));
}

void ScriptedServer::setResponder(Responder responder)
{
    m_responder = std::move(responder);
}

void ScriptedServer::respond(int status, const QByteArray& jsonBody)
{
    setResponder([status, jsonBody](const Request&) { return httpResponse(status, jsonBody); });
}

void ScriptedServer::respondRaw(const QByteArray& bytes)
{
    setResponder([bytes](const Request&) { return bytes; });
}

void ScriptedServer::clear()
{
    m_requests.clear();
    m_bytesReceived = 0;
}

void ScriptedServer::handle(QTcpSocket* socket)
{
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
        const QByteArray chunk = socket->readAll();
        m_bytesReceived += chunk.size();
        buffer->append(chunk);
        const qsizetype headerEnd = buffer->indexOf("\r\n\r\n");
        if (headerEnd < 0) {
            return;
        }
        Request request;
        const QList<QByteArray> lines = buffer->left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        request.path = request.target.split('?').first();
        qsizetype contentLength = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0) {
                continue;
            }
            const QByteArray name = line.left(colon).trimmed();
            const QByteArray value = line.mid(colon + 1).trimmed();
            request.headers.append({name, value});
            if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
                contentLength = value.toLongLong();
            }
        }
        if (buffer->size() < headerEnd + 4 + contentLength) {
            return; // wait for the rest of the body
        }
        request.body = buffer->mid(headerEnd + 4, contentLength);
        buffer->clear();
        m_requests.append(request);
        socket->write(m_responder(request));
        socket->disconnectFromHost();
    });
}

} // namespace idlewyn::testing
