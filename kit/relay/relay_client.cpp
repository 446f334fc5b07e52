#include "relay/relay_client.h"

#include "relay/certificate_pin.h"
#include "relay/relay_wire.h"

#include <QUrlQuery>
#include <memory>

namespace idlewyn {

using namespace RelayWire;

std::optional<QUrl> appendingPathSegments(const QUrl& base, const QStringList& segments)
{
    QString path = base.path(QUrl::FullyEncoded);
    if (!path.endsWith(u'/')) {
        path += u'/';
    }
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const QString& segment = segments.at(i);
        if (segment.isEmpty() || segment == u"." || segment == u"..") {
            return std::nullopt;
        }
        path += (i ? QStringLiteral("/") : QString()) + QString::fromLatin1(QUrl::toPercentEncoding(segment));
    }
    QUrl url = base;
    url.setPath(path, QUrl::StrictMode);
    return url;
}

namespace {

const QByteArray jsonContentType = QByteArrayLiteral("application/json");

struct Route {
    QByteArray method;
    QStringList segments;
    bool authorized = true;
    bool jsonContentType = true;
    std::optional<QByteArray> body;
    std::optional<std::pair<QString, QString>> queryItem;
};

// Routes are built outside the co_await expressions: GCC 12 mishandles
// braced temporaries inside them.
Route route(const char* method, QStringList segments, bool authorized, bool jsonContentType,
            std::optional<QByteArray> body = std::nullopt)
{
    return Route{QByteArray(method), std::move(segments), authorized, jsonContentType, std::move(body), std::nullopt};
}

// The one-off pairing session is torn down after its request whatever
// happened. It is deleted later, not here: this runs while the reply that
// resumed us is still emitting `finished`.
struct OneOffDeleter {
    void operator()(HttpSession* session) const
    {
        session->invalidate();
        session->deleteLater();
    }
};
using OneOffSession = std::unique_ptr<HttpSession, OneOffDeleter>;

HttpRequest buildRequest(const QUrl& base, const Route& route, const std::optional<QString>& token)
{
    std::optional<QUrl> url = appendingPathSegments(base, route.segments);
    if (!url) {
        // Only a prompt id can be unusable as a path segment, and the relay
        // itself handed it out.
        throw RelayError::invalidResponse();
    }
    if (route.queryItem) {
        QUrlQuery query(*url);
        query.addQueryItem(route.queryItem->first, route.queryItem->second);
        url->setQuery(query);
    }
    HttpRequest request;
    request.method = route.method;
    request.url = *url;
    if (route.authorized && token) {
        request.headers.append({QByteArrayLiteral("Authorization"), QByteArrayLiteral("Bearer ") + token->toUtf8()});
    }
    if (route.jsonContentType) {
        request.headers.append({QByteArrayLiteral("Content-Type"), jsonContentType});
    }
    request.body = route.body;
    request.timeout = RelayClient::requestTimeout;
    return request;
}

// A pin mismatch cancels the handshake; a refused or broken handshake is the
// other face of the same problem. Both only count when a pin is in play.
bool isCertificateFailure(QNetworkReply::NetworkError code)
{
    return code == QNetworkReply::OperationCanceledError || code == QNetworkReply::SslHandshakeFailedError;
}

template <class Answer>
QCoro::Task<Answer> exchange(HttpSession* session, HttpRequest request, bool certificateMode)
{
    const QString path = request.url.path(QUrl::FullyEncoded);
    std::optional<HttpResponse> response;
    try {
        response = co_await session->send(std::move(request));
    } catch (const TransportError& error) {
        if (certificateMode && isCertificateFailure(error.code())) {
            throw RelayError::certificateMismatch();
        }
        throw;
    }
    if (!response->status) {
        throw RelayError::invalidResponse();
    }
    const int status = *response->status;
    if (status >= 200 && status <= 299) {
        try {
            co_return json::relay.decode<Answer>(response->body);
        } catch (const DecodingError&) {
            throw RelayError::invalidResponse();
        }
    }
    if (status == 401 || status == 403) {
        throw RelayError::unauthorized();
    }
    if (status == 404) {
        if (path.contains(QStringLiteral("/v1/permissions/"))) {
            throw RelayError::promptExpired();
        }
        throw RelayError::server(status);
    }
    if (status == 429) {
        throw RelayError::tooManyAttempts();
    }
    throw RelayError::server(status);
}

HttpSession* sessionFor(HttpSession* own, const Connection& connection)
{
    return connection.certificatePin ? &CertificatePin::session(*connection.certificatePin) : own;
}

template <class Answer>
QCoro::Task<Answer> call(HttpSession* own, Connection connection, Route route)
{
    HttpRequest request = buildRequest(*connection.serverURL, route, connection.accessToken);
    co_return co_await exchange<Answer>(sessionFor(own, connection), std::move(request),
                                        connection.certificatePin.has_value());
}

QCoro::Task<Connection> pairWith(HttpSession* own, AgentProvider provider, QUrl serverURL, QString code,
                                 std::optional<QString> certificatePin)
{
    const bool https = serverURL.scheme().toLower() == u"https";
    const Route pairRoute = route("POST", {QStringLiteral("v1"), QStringLiteral("pair")}, false, true,
                                  json::relay.encode(PairRequest{provider, code}));
    HttpRequest request = buildRequest(serverURL, pairRoute, std::nullopt);

    OneOffSession oneOff;
    HttpSession* session = own;
    if (certificatePin) {
        session = &CertificatePin::session(*certificatePin);
    } else if (https) {
        oneOff = OneOffSession(HttpSession::trustOnFirstUse().release());
        session = oneOff.get();
    }

    const PairResponse answer = co_await exchange<PairResponse>(session, std::move(request), https);

    std::optional<QString> pin;
    if (certificatePin) {
        pin = CertificatePin::normalized(*certificatePin);
    } else if (oneOff) {
        pin = oneOff->seen();
    }
    co_return Connection{provider, serverURL, answer.token, answer.account, QDateTime::currentDateTimeUtc(), pin};
}

QCoro::Task<QList<AgentSession>> listSessions(HttpSession* own, Connection connection)
{
    if (connection.isDemo()) {
        co_return QList<AgentSession>{};
    }
    // The session list is the one request without a Content-Type.
    Route r = route("GET", {QStringLiteral("v1"), QStringLiteral("sessions")}, true, false);
    r.queryItem = std::make_pair(QStringLiteral("provider"), rawValue(connection.provider));
    const SessionsResponse answer = co_await call<SessionsResponse>(own, connection, std::move(r));
    QList<AgentSession> sessions;
    for (const AgentSession& session : answer.sessions) {
        if (session.provider == connection.provider) {
            sessions.append(session);
        }
    }
    co_return sessions;
}

QCoro::Task<> decideOn(HttpSession* own, PermissionDecision decision, QString promptID, Connection connection)
{
    if (connection.isDemo()) {
        co_return;
    }
    Route r = route("POST", {QStringLiteral("v1"), QStringLiteral("permissions"), promptID}, true, true,
                    json::relay.encode(DecisionBody{decision}));
    co_await call<OKResponse>(own, std::move(connection), std::move(r));
}

QCoro::Task<bool> readRemoteApprovals(HttpSession* own, Connection connection)
{
    if (connection.isDemo()) {
        co_return false;
    }
    Route r = route("GET", {QStringLiteral("v1"), QStringLiteral("settings")}, true, true);
    const SettingsPayload answer = co_await call<SettingsPayload>(own, std::move(connection), std::move(r));
    co_return answer.remoteApprovals;
}

QCoro::Task<bool> writeRemoteApprovals(HttpSession* own, bool enabled, Connection connection)
{
    if (connection.isDemo()) {
        co_return false;
    }
    Route r = route("POST", {QStringLiteral("v1"), QStringLiteral("settings")}, true, true,
                    json::relay.encode(SettingsPayload{enabled}));
    const SettingsPayload answer = co_await call<SettingsPayload>(own, std::move(connection), std::move(r));
    co_return answer.remoteApprovals;
}

QCoro::Task<> registerToken(HttpSession* own, PushTokenRegistration registration, Connection connection)
{
    if (connection.isDemo()) {
        co_return;
    }
    Route r = route("POST", {QStringLiteral("v1"), QStringLiteral("push"), QStringLiteral("tokens")}, true, true,
                    json::relay.encode(registration));
    co_await call<OKResponse>(own, std::move(connection), std::move(r));
}

QCoro::Task<> unpairFrom(HttpSession* own, Connection connection)
{
    if (connection.isDemo()) {
        co_return;
    }
    // No body at all, yet still declared JSON.
    Route r = route("POST", {QStringLiteral("v1"), QStringLiteral("unpair")}, true, true);
    co_await call<OKResponse>(own, std::move(connection), std::move(r));
}

} // namespace

RelayClient::RelayClient(HttpSession& urlSession)
    : m_urlSession(&urlSession)
{
}

QCoro::Task<Connection> RelayClient::pair(AgentProvider provider, QUrl serverURL, QString code,
                                          std::optional<QString> certificatePin) const
{
    return pairWith(m_urlSession, provider, std::move(serverURL), std::move(code), std::move(certificatePin));
}

QCoro::Task<QList<AgentSession>> RelayClient::sessions(Connection connection) const
{
    return listSessions(m_urlSession, std::move(connection));
}

QCoro::Task<> RelayClient::decide(PermissionDecision decision, QString promptID, Connection connection) const
{
    return decideOn(m_urlSession, decision, std::move(promptID), std::move(connection));
}

QCoro::Task<bool> RelayClient::remoteApprovals(Connection connection) const
{
    return readRemoteApprovals(m_urlSession, std::move(connection));
}

QCoro::Task<bool> RelayClient::setRemoteApprovals(bool enabled, Connection connection) const
{
    return writeRemoteApprovals(m_urlSession, enabled, std::move(connection));
}

QCoro::Task<> RelayClient::registerPushToken(PushTokenRegistration registration, Connection connection) const
{
    return registerToken(m_urlSession, std::move(registration), std::move(connection));
}

QCoro::Task<> RelayClient::unpair(Connection connection) const
{
    return unpairFrom(m_urlSession, std::move(connection));
}

} // namespace idlewyn
