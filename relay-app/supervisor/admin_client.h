#pragma once

#include "model/error.h"
#include "model/json_coding.h"
#include "supervisor/status.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <chrono>
#include <optional>

#include <qcoro/qcorotask.h>

namespace idlewyn {
class HttpSession;
struct HttpRequest;
} // namespace idlewyn

namespace vesperline {

// The relay answered, but not with success. Code 0: not an HTTP reply.
class AdminError : public idlewyn::Error {
public:
    explicit AdminError(int code);

    int code() const noexcept { return m_code; }

    // 401: "The relay rejected the hook secret. Restart it from this menu."
    // 404: "The running relay is too old for this app. Update it from this menu."
    // other: "The relay returned HTTP <code>."
    static QString describe(int code);

private:
    int m_code;
};

// The client of the local relay's admin interface (loopback only, secret in
// X-Idlewyn-Secret). It keeps nothing between requests: local-port,
// relay-url, hook-secret and relay-cert.pem are read afresh for each one, so a relay
// that restarted on another port or with a new certificate is found at the
// next request.
//
// Calls fail with AdminError (non-2xx or non-HTTP reply), TransportError (no
// listener, the 3-second timeout, a pin mismatch), DecodingError or
// EncodingError. A call may outlive the client object it was made on.
class AdminClient {
public:
    // The settings call's request and reply.
    struct Body {
        bool remoteApprovals = false;
        bool operator==(const Body&) const = default;
        static constexpr auto fields()
        {
            return std::tuple{idlewyn::field(u"remoteApprovals", &Body::remoteApprovals)};
        }
    };
    // The revoke call's reply: how many credentials went.
    struct Revoked {
        int revoked = 0;
        bool operator==(const Revoked&) const = default;
        static constexpr auto fields() { return std::tuple{idlewyn::field(u"revoked", &Revoked::revoked)}; }
    };

    static constexpr std::chrono::milliseconds timeout{3000};
    static QUrl defaultBaseUrl(); // http://127.0.0.1:8787

    // The support directory of QDir::homePath().
    AdminClient();
    explicit AdminClient(QString supportDirectory);

    QCoro::Task<Status> fetchStatus() const;
    QCoro::Task<Body> setRemoteApprovals(bool enabled) const;
    QCoro::Task<Revoked> revoke(QString id) const;

    // What the next request would use, read from the files now.
    // relay-url: where the relay serves phones (or the default).
    QUrl baseUrl() const;
    // Where admin requests go: http://127.0.0.1:<local-port> when the relay
    // wrote a valid local-port, otherwise baseUrl() (a relay without the
    // loopback listener).
    QUrl requestBaseUrl() const;
    QByteArray secret() const;
    // The pin of relay-cert.pem when the base URL is https and the file
    // yields one; requests then go through the pinned session.
    std::optional<QString> pin(const QUrl& base) const;

    const QString& supportDirectory() const { return m_supportDirectory; }

private:
    QCoro::Task<QByteArray> send(QByteArray method, QString path, std::optional<QByteArray> body) const;

    QString m_supportDirectory;
};

} // namespace vesperline
