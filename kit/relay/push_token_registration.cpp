#include "relay/push_token_registration.h"

#include <QHashFunctions>

namespace idlewyn {

PushTokenRegistration::PushTokenRegistration(QString deviceID, Kind kind, const QByteArray& token, QString environment,
                                             std::optional<QString> pushKey)
    : deviceID(std::move(deviceID))
    , kind(kind)
    , token(hexToken(token))
    , environment(std::move(environment))
    , pushKey(std::move(pushKey))
{
}

QString PushTokenRegistration::hexToken(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

QString rawValue(PushTokenRegistration::Kind kind)
{
    switch (kind) {
    case PushTokenRegistration::Kind::activity:
        return QStringLiteral("activity");
    case PushTokenRegistration::Kind::pushToStart:
        return QStringLiteral("pushToStart");
    }
    return {};
}

std::optional<PushTokenRegistration::Kind> pushTokenKindFromRawValue(const QString& raw)
{
    for (auto kind : {PushTokenRegistration::Kind::activity, PushTokenRegistration::Kind::pushToStart}) {
        if (rawValue(kind) == raw) {
            return kind;
        }
    }
    return std::nullopt;
}

size_t qHash(const PushTokenRegistration& r, size_t seed) noexcept
{
    return qHashMulti(seed, r.deviceID, static_cast<int>(r.kind), r.token, r.environment, r.pushKey.value_or(QString()),
                      int(r.pushKey.has_value()));
}

namespace json {

PushTokenRegistration::Kind Codable<PushTokenRegistration::Kind>::decode(const Decoder& d)
{
    const QString raw = d.string();
    if (auto kind = pushTokenKindFromRawValue(raw)) {
        return *kind;
    }
    d.dataCorrupted(QStringLiteral("Cannot initialize Kind from invalid String value ") + raw);
}

PushTokenRegistration Codable<PushTokenRegistration>::decode(const Decoder& d)
{
    PushTokenRegistration r;
    r.deviceID = d.decode<QString>(QStringLiteral("deviceID"));
    r.kind = d.decode<PushTokenRegistration::Kind>(QStringLiteral("kind"));
    r.token = d.decode<QString>(QStringLiteral("token"));
    r.environment = d.decode<QString>(QStringLiteral("environment"));
    r.pushKey = d.decodeIfPresent<QString>(QStringLiteral("pushKey"));
    return r;
}

QJsonValue Codable<PushTokenRegistration>::encode(const PushTokenRegistration& v, const Encoder& e)
{
    return ObjectEncoder(e)
        .set(QStringLiteral("deviceID"), v.deviceID)
        .set(QStringLiteral("kind"), v.kind)
        .set(QStringLiteral("token"), v.token)
        .set(QStringLiteral("environment"), v.environment)
        .setIfPresent(QStringLiteral("pushKey"), v.pushKey)
        .object();
}

} // namespace json
} // namespace idlewyn
