#pragma once

#include "test_certificate.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QUrl>
#include <functional>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace idlewyn::testing {

// An HTTP or HTTPS server on 127.0.0.1 that records every request and
// answers what the test scripted: a status with a body, or raw bytes (for
// replies that are not HTTP at all). Every answer closes the connection.
class ScriptedServer : public QObject {
    Q_OBJECT

public:
    struct Request {
        QByteArray method;
        QByteArray target;                            // as sent: path plus query, still percent-encoded
        QByteArray path;                              // percent-encoded path only, without the query
        QList<QPair<QByteArray, QByteArray>> headers; // in the order received
        QByteArray body;

        std::optional<QByteArray> header(const QByteArray& name) const;
    };

    using Responder = std::function<QByteArray(const Request&)>;

    // Plain HTTP, or HTTPS with the given certificate.
    explicit ScriptedServer(std::optional<TestCertificate> tls = std::nullopt, QObject* parent = nullptr);
    ~ScriptedServer() override;

    QUrl baseUrl() const; // http(s)://127.0.0.1:<port>

    // Every request gets the answer of the responder (default: 200 {"ok":true}).
    void setResponder(Responder responder);
    // Shortcuts for the common case: one status and JSON body for every request.
    void respond(int status, const QByteArray& jsonBody);
    void respondRaw(const QByteArray& bytes);

    const QList<Request>& requests() const { return m_requests; }
    // Raw bytes received after any TLS handshake, over all connections.
    qint64 bytesReceived() const { return m_bytesReceived; }
    void clear();

    static QByteArray httpResponse(int status, const QByteArray& body); // with Content-Type: application/json

private:
    void handle(QTcpSocket* socket);

    QTcpServer* m_server = nullptr;
    std::optional<TestCertificate> m_tls;
    Responder m_responder;
    QList<Request> m_requests;
    qint64 m_bytesReceived = 0;
};

} // namespace idlewyn::testing
