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

    static constexpr auto fields()
    {
        return std::tuple{field(u"id", &PermissionPrompt::id), field(u"toolName", &PermissionPrompt::toolName),
                          field(u"detail", &PermissionPrompt::detail),
                          field(u"createdAt", &PermissionPrompt::createdAt),
                          field(u"alwaysRule", &PermissionPrompt::alwaysRule)};
    }
};

inline size_t qHash(const PermissionPrompt& prompt, size_t seed = 0)
{
    return hashFields(prompt, seed);
}

enum class PermissionDecision { allow, deny, always };

template <>
struct RawValues<PermissionDecision> {
    static constexpr const char* typeName = "PermissionDecision";
    static constexpr RawCase<PermissionDecision> cases[] = {
        {PermissionDecision::allow, u"allow"},
        {PermissionDecision::deny, u"deny"},
        {PermissionDecision::always, u"always"},
    };
};

inline QString rawValue(PermissionDecision decision)
{
    return rawValueOf(decision);
}
inline std::optional<PermissionDecision> permissionDecisionFromRawValue(const QString& raw)
{
    return fromRawValue<PermissionDecision>(raw);
}

} // namespace idlewyn
