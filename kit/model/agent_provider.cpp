#include "model/agent_provider.h"

namespace idlewyn {

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

} // namespace idlewyn
