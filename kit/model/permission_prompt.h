#pragma once

#include "model/json_coding.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace idlewyn {

// A tool call waiting for the user's approval.
struct PermissionPrompt {
    QString id;
    QString toolName;
    QString detail;
    QDateTime createdAt;
    std::optional<QString> alwaysRule;

    bool operator==(const PermissionPrompt&) const = default;
};

enum class PermissionDecision { allow, deny, always };

QString rawValue(PermissionDecision decision);
std::optional<PermissionDecision> permissionDecisionFromRawValue(const QString& raw);

size_t qHash(const PermissionPrompt& prompt, size_t seed = 0) noexcept;

namespace json {
template <>
struct Codable<PermissionPrompt> {
    static PermissionPrompt decode(const Decoder& d);
    static QJsonValue encode(const PermissionPrompt& v, const Encoder& e);
};

template <>
struct Codable<PermissionDecision> {
    static PermissionDecision decode(const Decoder& d);
    static QJsonValue encode(PermissionDecision v, const Encoder&) { return rawValue(v); }
};
} // namespace json

} // namespace idlewyn
