#pragma once

#include "model/agent_provider.h"

#include <QString>
#include <optional>

namespace vesperline {

// One thing worth telling the person while the window is out of sight. A
// prompt's alert carries what answering it takes; any other alert opens the
// session when activated.
struct Alert {
    // Stable for what it reports: showing an alert with the same id again
    // replaces the earlier notification instead of stacking a second one.
    QString id;
    QString title;
    QString body;
    // The session's key (one connection per provider, so the provider also
    // names the connection a prompt is answered through).
    idlewyn::AgentProvider provider = idlewyn::AgentProvider::claude;
    QString sessionId;
    std::optional<QString> promptId;

    bool operator==(const Alert&) const = default;

    bool isPrompt() const { return promptId.has_value(); }
};

} // namespace vesperline
