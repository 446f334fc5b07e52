#include "model/permission_prompt.h"

#include <QHashFunctions>

namespace idlewyn {

QString rawValue(PermissionDecision decision)
{
    switch (decision) {
    case PermissionDecision::allow:
        return QStringLiteral("allow");
    case PermissionDecision::deny:
        return QStringLiteral("deny");
    case PermissionDecision::always:
        return QStringLiteral("always");
    }
    return {};
}

std::optional<PermissionDecision> permissionDecisionFromRawValue(const QString& raw)
{
    for (auto decision : {PermissionDecision::allow, PermissionDecision::deny, PermissionDecision::always}) {
        if (rawValue(decision) == raw) {
            return decision;
        }
    }
    return std::nullopt;
}

size_t qHash(const PermissionPrompt& prompt, size_t seed) noexcept
{
    return qHashMulti(seed, prompt.id, prompt.toolName, prompt.detail, prompt.createdAt.toMSecsSinceEpoch(),
                      prompt.alwaysRule.value_or(QString()), int(prompt.alwaysRule.has_value()));
}

namespace json {

PermissionPrompt Codable<PermissionPrompt>::decode(const Decoder& d)
{
    return PermissionPrompt{
        d.decode<QString>(QStringLiteral("id")),
        d.decode<QString>(QStringLiteral("toolName")),
        d.decode<QString>(QStringLiteral("detail")),
        d.decode<QDateTime>(QStringLiteral("createdAt")),
        d.decodeIfPresent<QString>(QStringLiteral("alwaysRule")),
    };
}

QJsonValue Codable<PermissionPrompt>::encode(const PermissionPrompt& v, const Encoder& e)
{
    return ObjectEncoder(e)
        .set(QStringLiteral("id"), v.id)
        .set(QStringLiteral("toolName"), v.toolName)
        .set(QStringLiteral("detail"), v.detail)
        .set(QStringLiteral("createdAt"), v.createdAt)
        .setIfPresent(QStringLiteral("alwaysRule"), v.alwaysRule)
        .object();
}

PermissionDecision Codable<PermissionDecision>::decode(const Decoder& d)
{
    const QString raw = d.string();
    if (auto decision = permissionDecisionFromRawValue(raw)) {
        return *decision;
    }
    d.dataCorrupted(QStringLiteral("Cannot initialize PermissionDecision from invalid String value %1").arg(raw));
}

} // namespace json
} // namespace idlewyn
