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

    // pushKey is left out when absent; reading accepts it missing or null.
    static constexpr auto fields()
    {
        return std::tuple{field(u"deviceID", &PushTokenRegistration::deviceID),
                          field(u"kind", &PushTokenRegistration::kind), field(u"token", &PushTokenRegistration::token),
                          field(u"environment", &PushTokenRegistration::environment),
                          field(u"pushKey", &PushTokenRegistration::pushKey)};
    }
};

template <>
struct RawValues<PushTokenRegistration::Kind> {
    static constexpr const char* typeName = "Kind";
    static constexpr RawCase<PushTokenRegistration::Kind> cases[] = {
        {PushTokenRegistration::Kind::activity, u"activity"},
        {PushTokenRegistration::Kind::pushToStart, u"pushToStart"},
    };
};

inline QString rawValue(PushTokenRegistration::Kind kind)
{
    return rawValueOf(kind);
}
inline std::optional<PushTokenRegistration::Kind> pushTokenKindFromRawValue(const QString& raw)
{
    return fromRawValue<PushTokenRegistration::Kind>(raw);
}

inline size_t qHash(const PushTokenRegistration& registration, size_t seed = 0)
{
    return hashFields(registration, seed);
}

} // namespace idlewyn
