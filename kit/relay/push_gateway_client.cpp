#include "relay/push_gateway_client.h"

#include "model/json_coding.h"
#include "relay/http_session.h"
#include "relay/relay_client.h"
#include "relay/relay_error.h"

#ifndef VESPERLINE_PUSH_GATEWAY
#define VESPERLINE_PUSH_GATEWAY ""
#endif

namespace idlewyn {

namespace {

struct Registered {
    QString pushKey;

    static constexpr auto fields() { return std::tuple{field(u"pushKey", &Registered::pushKey)}; }
};

struct RegisterRequest {
    QString token;
    QString environment;

    static constexpr auto fields()
    {
        return std::tuple{field(u"token", &RegisterRequest::token),
                          field(u"environment", &RegisterRequest::environment)};
    }
};

} // namespace

PushGatewayClient& PushGatewayClient::shared()
{
    static PushGatewayClient client(baseURLFromSetting(QStringLiteral(VESPERLINE_PUSH_GATEWAY)));
    return client;
}

std::optional<QUrl> PushGatewayClient::baseURLFromSetting(const QString& setting)
{
    if (setting.isEmpty()) {
        return std::nullopt;
    }
    QUrl url(setting, QUrl::StrictMode);
    if (!url.isValid()) {
        return std::nullopt;
    }
    return url;
}

PushGatewayClient::PushGatewayClient(std::optional<QUrl> baseURL)
    : m_baseURL(std::move(baseURL))
{
}

QCoro::Task<std::optional<QString>> PushGatewayClient::pushKey(QString token, QString environment)
{
    if (!m_baseURL) {
        co_return std::nullopt;
    }
    const QString cacheKey = environment + u':' + token;
    if (const auto it = m_keys.constFind(cacheKey); it != m_keys.constEnd()) {
        co_return *it;
    }

    HttpRequest request;
    request.method = "POST";
    request.url = *appendingPathSegments(*m_baseURL, {QStringLiteral("v1"), QStringLiteral("register")});
    request.headers.append({QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json")});
    request.body = json::plain.encode(RegisterRequest{token, environment});
    request.timeout = requestTimeout;

    const HttpResponse response = co_await HttpSession::shared().send(std::move(request));
    if (!response.status) {
        throw RelayError::server(0);
    }
    if (*response.status != 200) {
        throw RelayError::server(*response.status);
    }
    const Registered registered = json::plain.decode<Registered>(response.body);
    m_keys.insert(cacheKey, registered.pushKey);
    co_return registered.pushKey;
}

} // namespace idlewyn
