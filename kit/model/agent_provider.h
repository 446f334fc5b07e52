#pragma once

#include "model/json_coding.h"

#include <QHashFunctions>
#include <QList>
#include <QString>
#include <optional>

namespace idlewyn {

enum class AgentProvider { claude, codex };

template <>
struct RawValues<AgentProvider> {
    static constexpr const char* typeName = "AgentProvider";
    static constexpr RawCase<AgentProvider> cases[] = {
        {AgentProvider::claude, u"claude"},
        {AgentProvider::codex, u"codex"},
    };
};

namespace AgentProviders {
inline const QList<AgentProvider>& allCases()
{
    return allCasesOf<AgentProvider>();
}
} // namespace AgentProviders

inline QString rawValue(AgentProvider provider)
{
    return rawValueOf(provider);
}
// Exact, case-sensitive match of the wire word.
inline std::optional<AgentProvider> agentProviderFromRawValue(const QString& raw)
{
    return fromRawValue<AgentProvider>(raw);
}

inline QString id(AgentProvider provider)
{
    return rawValue(provider);
}
QString displayName(AgentProvider provider);
QString shortName(AgentProvider provider);
QString symbolName(AgentProvider provider);

inline size_t qHash(AgentProvider provider, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(provider), seed);
}

// JSON: the raw value. An unknown provider is corrupt data: a session for an
// agent we do not know cannot be shown or answered, so the whole record fails.

} // namespace idlewyn
