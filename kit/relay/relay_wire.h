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
};

struct PairResponse {
    QString token;
    QString account;
};

struct SessionsResponse {
    QList<AgentSession> sessions;
};

// Only the presence of "ok" counts: a relay that answers {"ok": false} with
// a success status has still done what was asked.
struct OKResponse {
    bool ok = false;
};

struct SettingsPayload {
    bool remoteApprovals = false;
};

// {"decision": "allow" | "deny" | "always"}
struct DecisionBody {
    PermissionDecision decision = PermissionDecision::deny;
};

} // namespace idlewyn::RelayWire

namespace idlewyn::json {

template <>
struct Codable<RelayWire::PairRequest> {
    static RelayWire::PairRequest decode(const Decoder& d);
    static QJsonValue encode(const RelayWire::PairRequest& v, const Encoder& e);
};

template <>
struct Codable<RelayWire::PairResponse> {
    static RelayWire::PairResponse decode(const Decoder& d);
    static QJsonValue encode(const RelayWire::PairResponse& v, const Encoder& e);
};

template <>
struct Codable<RelayWire::SessionsResponse> {
    static RelayWire::SessionsResponse decode(const Decoder& d);
    static QJsonValue encode(const RelayWire::SessionsResponse& v, const Encoder& e);
};

template <>
struct Codable<RelayWire::OKResponse> {
    static RelayWire::OKResponse decode(const Decoder& d);
    static QJsonValue encode(const RelayWire::OKResponse& v, const Encoder& e);
};

template <>
struct Codable<RelayWire::SettingsPayload> {
    static RelayWire::SettingsPayload decode(const Decoder& d);
    static QJsonValue encode(const RelayWire::SettingsPayload& v, const Encoder& e);
};

template <>
struct Codable<RelayWire::DecisionBody> {
    static RelayWire::DecisionBody decode(const Decoder& d);
    static QJsonValue encode(const RelayWire::DecisionBody& v, const Encoder& e);
};

} // namespace idlewyn::json
