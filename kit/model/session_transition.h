#pragma once

#include "model/session_snapshot.h"

#include <QList>
#include <optional>

namespace idlewyn {

// A session that has just come to need the user.
struct SessionTransition {
    AgentSession session;
    std::optional<SessionStatus> from;

    bool operator==(const SessionTransition&) const = default;

    // Pure: compares statuses and prompt ids only. Sessions seen for the first
    // time never qualify, so a first snapshot raises no alerts.
    static QList<SessionTransition> detect(const SessionSnapshot& previous, const SessionSnapshot& current);
};

} // namespace idlewyn
