#pragma once

#include "model/error.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>

#include <qcoro/qcorotask.h>

class QNetworkAccessManager;

namespace idlewyn {

struct HttpHeader {
    QByteArray name;
    QByteArray value;

    bool operator==(const HttpHeader&) const = default;
};

struct HttpRequest {
    QByteArray method = "GET";
    QUrl url;
    // Sent in this order. The transport itself adds only what HTTP needs
    // (Host, Content-Length, Connection) and Qt's own defaults.
    QList<HttpHeader> headers;
    std::optional<QByteArray> body;
    // Inactivity timeout: the request fails when nothing moves for this long.
    std::chrono::milliseconds timeout{60000};
};

struct HttpResponse {
    // Absent when the peer took the request but did not answer with HTTP
    // (bytes that are not an HTTP response, or a close without any answer).
    std::optional<int> status;
    QList<HttpHeader> headers;
    QByteArray body;

    std::optional<QByteArray> header(const QByteArray& name) const;
};

// A transport failure, passed through to callers as Qt reports it.
class TransportError : public Error {
public:
    TransportError(QNetworkReply::NetworkError code, const QString& description);

    QNetworkReply::NetworkError code() const noexcept { return m_code; }

private:
    QNetworkReply::NetworkError m_code;
};

// What a URL session is on other platforms: one network manager, ephemeral
// (no cookies, no cache, no stored credentials, no redirects followed) and
// with one of three ways to trust a TLS peer:
//  - platform: ordinary certificate verification (the shared session);
//  - pinned: exactly the leaf certificate whose SHA-256 is the pin, whatever
//    its chain or expiry; any other leaf is refused before a request byte
//    leaves, which callers see as OperationCanceledError;
//  - first use: any leaf is accepted and its fingerprint recorded (pairing).
// Pinned and first-use sessions never use HTTP/2 and each owns its network
// manager: a reused connection is not checked again, and with HTTP/2 the
// request would leave before the check.
class HttpSession : public QObject {
    Q_OBJECT

public:
    enum class Trust { platform, pinned, firstUse };

    // The process-wide session with platform trust.
    static HttpSession& shared();
    static std::unique_ptr<HttpSession> trustOnFirstUse();

    explicit HttpSession(QObject* parent = nullptr);
    // A pinned session; the pin is normalised first.
    explicit HttpSession(const QString& pin, QObject* parent = nullptr);
    ~HttpSession() override;

    Trust trust() const { return m_trust; }
    const std::optional<QString>& pin() const { return m_pin; }
    // Fingerprint of the last leaf certificate a TLS peer presented.
    std::optional<QString> seen() const;

    // Throws TransportError. A timeout is reported as TimeoutError, a pin
    // mismatch as OperationCanceledError.
    QCoro::Task<HttpResponse> send(HttpRequest request);

    // Aborts what is still running and refuses further requests; used for the
    // one-off pairing session once its request is done.
    void invalidate();

private:
    HttpSession(Trust trust, std::optional<QString> pin, QObject* parent);

    Trust m_trust;
    std::optional<QString> m_pin;
    QNetworkAccessManager* m_manager;
    bool m_invalidated = false;
    mutable QMutex m_seenLock;
    std::optional<QString> m_seen;
};

} // namespace idlewyn
