#pragma once

#include "model/agent_session.h"

#include <QDateTime>
#include <QList>

namespace idlewyn {

// The sessions known at one moment.
struct SessionSnapshot {
    QList<AgentSession> sessions;
    QDateTime updatedAt;

    bool operator==(const SessionSnapshot&) const = default;

    static constexpr auto fields()
    {
        return std::tuple{field(u"sessions", &SessionSnapshot::sessions),
                          field(u"updatedAt", &SessionSnapshot::updatedAt)};
    }

    // No sessions, taken at the distant past (0001-01-01T00:00:00Z).
    static SessionSnapshot empty();
    static QDateTime distantPast();

    // Display order: status rank, then newest update first; a stable sort.
    QList<AgentSession> sorted() const;
    qsizetype count(SessionStatus status) const;
    qsizetype workingCount() const { return count(SessionStatus::working); }
    qsizetype attentionCount() const;
    // False with no sessions; otherwise true when none is working.
    bool allFinished() const;
    // `sessions(for:)`: the field `sessions` already owns the plain name.
    QList<AgentSession> sessionsFor(AgentProvider provider) const;
};

// The display order on its own, for callers that hold a bare list.
QList<AgentSession> sortedForDisplay(QList<AgentSession> sessions);

} // namespace idlewyn
