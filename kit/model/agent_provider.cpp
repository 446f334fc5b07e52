#include "model/agent_provider.h"

namespace idlewyn {

const QList<AgentProvider>& AgentProviders::allCases()
{
    static const QList<AgentProvider> cases{AgentProvider::claude, AgentProvider::codex};
    return cases;
}

QString rawValue(AgentProvider provider)
{
    switch (provider) {
    case AgentProvider::claude:
        return QStringLiteral("claude");
    case AgentProvider::codex:
        return QStringLiteral("codex");
    }
    return {};
}

std::optional<AgentProvider> agentProviderFromRawValue(const QString& raw)
{
    for (AgentProvider provider : AgentProviders::allCases()) {
        if (rawValue(provider) == raw) {
            return provider;
        }
    }
    return std::nullopt;
}

QString displayName(AgentProvider provider)
{
    return provider == AgentProvider::claude ? QStringLiteral("Claude Code") : QStringLiteral("Codex");
}

QString shortName(AgentProvider provider)
{
    return provider == AgentProvider::claude ? QStringLiteral("Claude") : QStringLiteral("Codex");
}

QString symbolName(AgentProvider provider)
{
    return provider == AgentProvider::claude ? QStringLiteral("sparkle")
                                             : QStringLiteral("chevron.left.forwardslash.chevron.right");
}

AgentProvider json::Codable<AgentProvider>::decode(const Decoder& decoder)
{
    const QString raw = decoder.string();
    if (auto provider = agentProviderFromRawValue(raw)) {
        return *provider;
    }
    decoder.dataCorrupted(QStringLiteral("Cannot initialize AgentProvider from invalid String value %1").arg(raw));
}

} // namespace idlewyn
