#include "supervisor/admin_client.h"

#include "relay/certificate_pin.h"
#include "relay/http_session.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>

namespace vesperline {

namespace {

std::optional<QByteArray> readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

// Codable needs a type; the revoke request is nothing more than its id.
struct RevokeRequest {
    QString id;

    static constexpr auto fields() { return std::tuple{idlewyn::field(u"id", &RevokeRequest::id)}; }
};

template <class Reply>
Reply decodeReply(const QByteArray& body)
{
    return idlewyn::json::relay.decode<Reply>(body);
}

} // namespace

AdminError::AdminError(int code)
    : Error(describe(code))
    , m_code(code)
{
}

QString AdminError::describe(int code)
{
    switch (code) {
    case 401:
        return QStringLiteral("The relay rejected the hook secret. Restart it from this menu.");
    case 404:
        return QStringLiteral("The running relay is too old for this app. Update it from this menu.");
    default:
        return QStringLiteral("The relay returned HTTP %1.").arg(code);
    }
}

QUrl AdminClient::defaultBaseUrl()
{
    return QUrl(QStringLiteral("http://127.0.0.1:8787"));
}

AdminClient::AdminClient()
    : AdminClient(QDir::homePath() + QStringLiteral("/.idlewyn-relay"))
{
}

AdminClient::AdminClient(QString supportDirectory)
    : m_supportDirectory(std::move(supportDirectory))
{
}

QUrl AdminClient::baseUrl() const
{
    const std::optional<QByteArray> data = readFile(m_supportDirectory + QStringLiteral("/relay-url"));
    if (!data) {
        return defaultBaseUrl();
    }
    const QString text = QString::fromUtf8(*data).trimmed();
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid()) {
        return defaultBaseUrl();
    }
    return url;
}

QUrl AdminClient::requestBaseUrl() const
{
    // The relay's loopback listener, when it has one: plain http that only
    // this machine reaches, with a capacity of its own, so however many
    // phones (or strangers) crowd the device port the app is still served.
    const std::optional<QByteArray> data = readFile(m_supportDirectory + QStringLiteral("/local-port"));
    if (data) {
        bool ok = false;
        const uint port = QString::fromUtf8(*data).trimmed().toUInt(&ok);
        if (ok && port > 0 && port <= 65535) {
            QUrl url;
            url.setScheme(QStringLiteral("http"));
            url.setHost(QStringLiteral("127.0.0.1"));
            url.setPort(static_cast<int>(port));
            return url;
        }
    }
    return baseUrl();
}

QByteArray AdminClient::secret() const
{
    const QByteArray data = readFile(m_supportDirectory + QStringLiteral("/hook-secret")).value_or(QByteArray());
    QByteArray secret = QString::fromUtf8(data).trimmed().toUtf8();
    // Never null: Qt drops a header whose value is null, and a missing file
    // must still send the header, with an empty value.
    if (secret.isNull()) {
        secret = QByteArray("", 0);
    }
    return secret;
}

std::optional<QString> AdminClient::pin(const QUrl& base) const
{
    if (base.scheme() != QStringLiteral("https")) {
        return std::nullopt;
    }
    return idlewyn::CertificatePin::fingerprint(m_supportDirectory + QStringLiteral("/relay-cert.pem"));
}

QCoro::Task<QByteArray> AdminClient::send(QByteArray method, QString path, std::optional<QByteArray> body) const
{
    // Everything is worked out before the first suspension: the client
    // object may be gone by the time the reply arrives.
    const QUrl base = requestBaseUrl();
    QUrl url = base;
    QString basePath = base.path();
    if (!basePath.endsWith(u'/')) {
        basePath += u'/';
    }
    url.setPath(basePath + path);

    idlewyn::HttpRequest request;
    request.method = std::move(method);
    request.url = url;
    request.headers = {
        {QByteArrayLiteral("X-Idlewyn-Secret"), secret()},
        {QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json")},
    };
    request.body = std::move(body);
    request.timeout = timeout;

    const std::optional<QString> pinned = pin(base);
    idlewyn::HttpSession& session = pinned ? idlewyn::CertificatePin::session(*pinned) : idlewyn::HttpSession::shared();

    const idlewyn::HttpResponse response = co_await session.send(std::move(request));
    if (!response.status) {
        throw AdminError(0);
    }
    if (*response.status < 200 || *response.status > 299) {
        throw AdminError(*response.status);
    }
    co_return response.body;
}

QCoro::Task<Status> AdminClient::fetchStatus() const
{
    const QByteArray body = co_await send(QByteArrayLiteral("GET"), QStringLiteral("v1/admin/status"), std::nullopt);
    co_return decodeReply<Status>(body);
}

QCoro::Task<AdminClient::Body> AdminClient::setRemoteApprovals(bool enabled) const
{
    // Encoded before anything is sent: an encoding failure sends nothing.
    QByteArray payload = idlewyn::json::plain.encode(Body{enabled});
    const QByteArray body =
        co_await send(QByteArrayLiteral("POST"), QStringLiteral("v1/admin/settings"), std::move(payload));
    co_return decodeReply<Body>(body);
}

QCoro::Task<AdminClient::Revoked> AdminClient::revoke(QString id) const
{
    QByteArray payload = idlewyn::json::plain.encode(RevokeRequest{id});
    const QByteArray body =
        co_await send(QByteArrayLiteral("POST"), QStringLiteral("v1/admin/tokens/revoke"), std::move(payload));
    co_return decodeReply<Revoked>(body);
}

} // namespace vesperline
