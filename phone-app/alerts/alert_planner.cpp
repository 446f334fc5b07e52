#include "alerts/alert_planner.h"

#include "model/session_transition.h"

using namespace idlewyn;

namespace vesperline {

namespace {

QString key(AgentProvider provider, const QString& id)
{
    return rawValue(provider) + QLatin1Char('/') + id;
}

} // namespace

Alert AlertPlanner::alertFor(const AgentSession& session)
{
    Alert alert;
    alert.provider = session.provider;
    alert.sessionId = session.id;
    alert.title = displayName(session.provider) + QStringLiteral(" · ") + session.projectName();
    if (session.permission) {
        alert.id = QStringLiteral("prompt/") + key(session.provider, session.permission->id);
        alert.promptId = session.permission->id;
        alert.body = QStringLiteral("Allow %1: %2?").arg(session.permission->toolName, session.permission->detail);
    } else {
        // One per session: a later status replaces the earlier notification.
        alert.id = QStringLiteral("session/") + key(session.provider, session.id);
        alert.body = session.displaySummary().value_or(label(session.status));
    }
    return alert;
}

AlertPlanner::Plan AlertPlanner::plan(const SessionSnapshot& current, const QList<Connection>& connections,
                                      const QList<AgentProvider>& failed)
{
    QSet<AgentProvider> paired;
    QSet<AgentProvider> live;
    for (const Connection& connection : connections) {
        if (!connection.isDemo()) {
            paired.insert(connection.provider);
            if (!failed.contains(connection.provider)) {
                live.insert(connection.provider);
            }
        }
    }

    Plan plan;
    // An unpaired provider starts from a new baseline when it is paired again.
    for (auto it = m_baselined.begin(); it != m_baselined.end();) {
        if (paired.contains(*it)) {
            ++it;
            continue;
        }
        const QString prefix = rawValue(*it) + QLatin1Char('/');
        m_baseline.removeIf([&prefix](const QString& k) { return k.startsWith(prefix); });
        it = m_baselined.erase(it);
    }
    const QSet<AgentProvider> fresh = live - m_baselined;
    const auto watched = [&](const AgentSession& s) {
        return live.contains(s.provider) && !fresh.contains(s.provider);
    };

    const auto add = [&](const AgentSession& s) {
        if (s.permission) {
            const QString prompt = key(s.provider, s.permission->id);
            if (m_alertedPrompts.contains(prompt)) {
                return;
            }
            m_alertedPrompts.insert(prompt);
            Alert alert = alertFor(s);
            m_shownPrompts.insert(alert.id, ShownPrompt{s.provider, s.permission->id});
            plan.show.append(std::move(alert));
            return;
        }
        plan.show.append(alertFor(s));
    };

    if (m_previous) {
        for (const SessionTransition& transition : SessionTransition::detect(*m_previous, current)) {
            if (watched(transition.session)) {
                add(transition.session);
            }
        }
    }
    for (const AgentSession& s : current.sessions) {
        if (watched(s) && s.permission && needsAttention(s.status) && !m_baseline.contains(key(s.provider, s.id))) {
            add(s);
        }
    }

    for (const AgentSession& s : current.sessions) {
        if (fresh.contains(s.provider)) {
            m_baseline.insert(key(s.provider, s.id));
        }
    }
    m_baselined += fresh;

    QSet<QString> present;
    for (const AgentSession& s : current.sessions) {
        if (s.permission) {
            present.insert(key(s.provider, s.permission->id));
        }
    }
    for (auto it = m_shownPrompts.begin(); it != m_shownPrompts.end();) {
        const bool known = live.contains(it->provider) || !paired.contains(it->provider);
        if (known && !present.contains(key(it->provider, it->promptId))) {
            plan.withdraw.append(it.key());
            it = m_shownPrompts.erase(it);
        } else {
            ++it;
        }
    }

    m_previous = current;
    return plan;
}

} // namespace vesperline
