#include "relay/connection.h"

#include <QHashFunctions>

namespace idlewyn {

Connection Connection::demo(AgentProvider provider)
{
    return Connection{provider, std::nullopt, QStringLiteral("mock"), QStringLiteral("Demo"),
                      QDateTime::currentDateTimeUtc(), std::nullopt};
}

size_t qHash(const Connection& c, size_t seed) noexcept
{
    return qHashMulti(seed, c.provider, c.serverURL.value_or(QUrl()).toString(), int(c.serverURL.has_value()),
                      c.accessToken, c.accountName, c.connectedAt.toMSecsSinceEpoch(),
                      c.certificatePin.value_or(QString()), int(c.certificatePin.has_value()));
}

namespace json {

Connection Codable<Connection>::decode(const Decoder& d)
{
    return Connection{
        d.decode<AgentProvider>(QStringLiteral("provider")),
        d.decodeIfPresent<QUrl>(QStringLiteral("serverURL")),
        d.decode<QString>(QStringLiteral("accessToken")),
        d.decode<QString>(QStringLiteral("accountName")),
        d.decode<QDateTime>(QStringLiteral("connectedAt")),
        d.decodeIfPresent<QString>(QStringLiteral("certificatePin")),
    };
}

QJsonValue Codable<Connection>::encode(const Connection& v, const Encoder& e)
{
    return ObjectEncoder(e)
        .set(QStringLiteral("provider"), v.provider)
        .setIfPresent(QStringLiteral("serverURL"), v.serverURL)
        .set(QStringLiteral("accessToken"), v.accessToken)
        .set(QStringLiteral("accountName"), v.accountName)
        .set(QStringLiteral("connectedAt"), v.connectedAt)
        .setIfPresent(QStringLiteral("certificatePin"), v.certificatePin)
        .object();
}

} // namespace json
} // namespace idlewyn
