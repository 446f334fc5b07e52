#pragma once

#include "alerts/alert.h"

#include "model/session_snapshot.h"
#include "relay/connection.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>
#include <optional>

namespace vesperline {

// Decides, refresh by refresh, what the person is told. Two sources:
//  - the kit's transitions between the previous and the current snapshot;
//  - a prompt on a session that appeared after the client started looking:
//    a new session usually asks for its first permission within seconds, so
//    a background poll first sees it already waiting, and transitions (which
//    ignore sessions seen for the first time) would never mention it.
// A prompt alerts at most once, whichever source finds it first.
//
// "Started looking" is per provider: the first snapshot in which a paired
// provider's relay answered is its baseline, and nothing from a baseline
// alerts (no flood of old news after a start, a late-answering relay or a
// new pairing). Demo sessions and a failing provider's fallback sessions
// never alert.
class AlertPlanner {
public:
    struct Plan {
        QList<Alert> show;
        // Ids of prompt alerts whose prompt is gone (answered here or
        // elsewhere, expired, or its provider unpaired): their actions could
        // only fail now.
        QStringList withdraw;

        bool operator==(const Plan&) const = default;
    };

    // `connections`: those the snapshot was taken for; `failed`: providers
    // whose relay did not answer this time (their sessions are fallback).
    Plan plan(const idlewyn::SessionSnapshot& current, const QList<idlewyn::Connection>& connections,
              const QList<idlewyn::AgentProvider>& failed = {});

    // The texts of a session's alert; the prompt's when it has one.
    static Alert alertFor(const idlewyn::AgentSession& session);

private:
    struct ShownPrompt {
        idlewyn::AgentProvider provider;
        QString promptId;
    };

    std::optional<idlewyn::SessionSnapshot> m_previous;
    QSet<idlewyn::AgentProvider> m_baselined;
    // provider raw value + '/' + session id of every session in a baseline
    QSet<QString> m_baseline;
    // provider raw value + '/' + prompt id, never forgotten
    QSet<QString> m_alertedPrompts;
    QHash<QString, ShownPrompt> m_shownPrompts; // by alert id
};

} // namespace vesperline
