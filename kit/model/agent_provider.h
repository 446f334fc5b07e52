#pragma once

#include "model/json_coding.h"

#include <QHashFunctions>
#include <QList>
#include <QString>
#include <optional>

namespace idlewyn {

enum class AgentProvider { claude, codex };

namespace AgentProviders {
const QList<AgentProvider>& allCases();
}

QString rawValue(AgentProvider provider);
// Exact, case-sensitive match of the wire word.
std::optional<AgentProvider> agentProviderFromRawValue(const QString& raw);

inline QString id(AgentProvider provider) { return rawValue(provider); }
QString displayName(AgentProvider provider);
QString shortName(AgentProvider provider);
QString symbolName(AgentProvider provider);

inline size_t qHash(AgentProvider provider, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(provider), seed);
}

namespace json {
template <>
struct Codable<AgentProvider> {
    // An unknown provider is corrupt data: a session for an agent we do not
    // know cannot be shown or answered, so the whole record fails.
    static AgentProvider decode(const Decoder& decoder);
    static QJsonValue encode(AgentProvider value, const Encoder&) { return rawValue(value); }
};
} // namespace json

} // namespace idlewyn
