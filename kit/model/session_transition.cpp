#include "model/session_transition.h"

#include <QHash>

namespace idlewyn {

QList<SessionTransition> SessionTransition::detect(const SessionSnapshot& previous, const SessionSnapshot& current)
{
    QHash<QString, const AgentSession*> before;
    before.reserve(previous.sessions.size());
    for (const AgentSession& p : previous.sessions) {
        before.insert(p.id, &p); // a later duplicate replaces an earlier one
    }

    QList<SessionTransition> result;
    for (const AgentSession& s : current.sessions) {
        if (!needsAttention(s.status)) {
            continue;
        }
        const auto it = before.constFind(s.id);
        if (it == before.constEnd()) {
            continue;
        }
        const AgentSession& p = **it;
        const bool statusRule = p.status == SessionStatus::working || p.status == SessionStatus::idle;
        const bool promptRule = s.permission && (!p.permission || p.permission->id != s.permission->id);
        if (statusRule || promptRule) {
            result.append(SessionTransition{s, p.status});
        }
    }
    return result;
}

} // namespace idlewyn
