#pragma once

#include "model/json_coding.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace idlewyn {

// Where the relay may push to: one platform push token of this device, with
// the push gateway's key for it when the device has one.
struct PushTokenRegistration {
    enum class Kind { activity, pushToStart };

    QString deviceID;
    Kind kind = Kind::activity;
    QString token; // lower-case hexadecimal, two digits per byte, no separators
    QString environment;
    std::optional<QString> pushKey;

    PushTokenRegistration() = default;
    // The token comes as the platform hands it over: raw bytes.
    PushTokenRegistration(QString deviceID, Kind kind, const QByteArray& token, QString environment,
                          std::optional<QString> pushKey = std::nullopt);

    bool operator==(const PushTokenRegistration&) const = default;

    static QString hexToken(const QByteArray& bytes);
};

QString rawValue(PushTokenRegistration::Kind kind);
std::optional<PushTokenRegistration::Kind> pushTokenKindFromRawValue(const QString& raw);

size_t qHash(const PushTokenRegistration& registration, size_t seed = 0) noexcept;

namespace json {
template <>
struct Codable<PushTokenRegistration::Kind> {
    static PushTokenRegistration::Kind decode(const Decoder& d);
    static QJsonValue encode(PushTokenRegistration::Kind v, const Encoder&) { return rawValue(v); }
};

// pushKey is left out when absent; reading accepts it missing or null.
template <>
struct Codable<PushTokenRegistration> {
    static PushTokenRegistration decode(const Decoder& d);
    static QJsonValue encode(const PushTokenRegistration& v, const Encoder& e);
};
} // namespace json

} // namespace idlewyn
