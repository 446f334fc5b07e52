#include "model/session_snapshot.h"

#include <QTimeZone>
#include <algorithm>

namespace idlewyn {

QDateTime SessionSnapshot::distantPast()
{
    return QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
}

SessionSnapshot SessionSnapshot::empty()
{
    return SessionSnapshot{{}, distantPast()};
}

QList<AgentSession> sortedForDisplay(QList<AgentSession> sessions)
{
    std::stable_sort(sessions.begin(), sessions.end(), [](const AgentSession& a, const AgentSession& b) {
        const int ra = sortRank(a.status);
        const int rb = sortRank(b.status);
        if (ra != rb) {
            return ra < rb;
        }
        return a.updatedAt > b.updatedAt;
    });
    return sessions;
}

QList<AgentSession> SessionSnapshot::sorted() const
{
    return sortedForDisplay(sessions);
}

qsizetype SessionSnapshot::count(SessionStatus status) const
{
    return std::count_if(sessions.cbegin(), sessions.cend(),
                         [status](const AgentSession& s) { return s.status == status; });
}

qsizetype SessionSnapshot::attentionCount() const
{
    return std::count_if(sessions.cbegin(), sessions.cend(),
                         [](const AgentSession& s) { return needsAttention(s.status); });
}

bool SessionSnapshot::allFinished() const
{
    return !sessions.isEmpty() && workingCount() == 0;
}

QList<AgentSession> SessionSnapshot::sessionsFor(AgentProvider provider) const
{
    QList<AgentSession> result;
    for (const AgentSession& s : sessions) {
        if (s.provider == provider) {
            result.append(s);
        }
    }
    return result;
}

} // namespace idlewyn
