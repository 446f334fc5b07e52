#pragma once

#include <QHash>
#include <QString>
#include <QUrl>
#include <chrono>
#include <optional>

#include <qcoro/qcorotask.h>

namespace idlewyn {

// Exchanges a device's push token for the push gateway's key, which the
// device then hands to its relay with the token. The gateway is a per
// deployment setting (VesperlinePushGateway at configure time); without it
// nothing is asked and no key is given. Keys are kept for the life of the
// process, never written anywhere.
class PushGatewayClient {
public:
    static constexpr std::chrono::seconds requestTimeout{10};

    // The client of this deployment's gateway.
    static PushGatewayClient& shared();

    // A non-empty text that parses as a URL; anything else means "no gateway".
    static std::optional<QUrl> baseURLFromSetting(const QString& setting);

    explicit PushGatewayClient(std::optional<QUrl> baseURL);
    PushGatewayClient(const PushGatewayClient&) = delete;
    PushGatewayClient& operator=(const PushGatewayClient&) = delete;

    bool isConfigured() const { return m_baseURL.has_value(); }
    const std::optional<QUrl>& baseURL() const { return m_baseURL; }

    // Absent without a gateway. Fails with the transport error unchanged,
    // RelayError::server(0) for an answer that is not HTTP,
    // RelayError::server(status) for any status but exactly 200, and a
    // DecodingError for a 200 without a usable "pushKey". The client must
    // outlive the task.
    QCoro::Task<std::optional<QString>> pushKey(QString token, QString environment);

private:
    std::optional<QUrl> m_baseURL;
    // environment + ":" + token -> key
    QHash<QString, QString> m_keys;
};

} // namespace idlewyn
