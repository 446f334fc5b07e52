#pragma once

// The bodies of the relay's device API. Every key is required when reading:
// a missing key or a value of the wrong type fails the whole answer.

#include "model/agent_provider.h"
#include "model/agent_session.h"
#include "model/json_coding.h"
#include "model/permission_prompt.h"

#include <QList>
#include <QString>

namespace idlewyn::RelayWire {

struct PairRequest {
    AgentProvider provider = AgentProvider::claude;
    QString code; // exactly as the user typed it; the relay decides what to forgive

    static constexpr auto fields()
    {
        return std::tuple{field(u"provider", &PairRequest::provider), field(u"code", &PairRequest::code)};
    }
};

struct PairResponse {
    QString token;
    QString account;

    static constexpr auto fields()
    {
        return std::tuple{field(u"token", &PairResponse::token), field(u"account", &PairResponse::account)};
    }
};

struct SessionsResponse {
    QList<AgentSession> sessions;

    static constexpr auto fields() { return std::tuple{field(u"sessions", &SessionsResponse::sessions)}; }
};

// Only the presence of "ok" counts: a relay that answers {"ok": false} with
// a success status has still done what was asked.
struct OKResponse {
    bool ok = false;

    static constexpr auto fields() { return std::tuple{field(u"ok", &OKResponse::ok)}; }
};

struct SettingsPayload {
    bool remoteApprovals = false;

    static constexpr auto fields() { return std::tuple{field(u"remoteApprovals", &SettingsPayload::remoteApprovals)}; }
};

// {"decision": "allow" | "deny" | "always"}
struct DecisionBody {
    PermissionDecision decision = PermissionDecision::deny;

    static constexpr auto fields() { return std::tuple{field(u"decision", &DecisionBody::decision)}; }
};

} // namespace idlewyn::RelayWire
