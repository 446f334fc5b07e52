#include "relay/relay_wire.h"

namespace idlewyn::json {

using namespace RelayWire;

PairRequest Codable<PairRequest>::decode(const Decoder& d)
{
    return PairRequest{d.decode<AgentProvider>(QStringLiteral("provider")), d.decode<QString>(QStringLiteral("code"))};
}

QJsonValue Codable<PairRequest>::encode(const PairRequest& v, const Encoder& e)
{
    return ObjectEncoder(e).set(QStringLiteral("provider"), v.provider).set(QStringLiteral("code"), v.code).object();
}

PairResponse Codable<PairResponse>::decode(const Decoder& d)
{
    return PairResponse{d.decode<QString>(QStringLiteral("token")), d.decode<QString>(QStringLiteral("account"))};
}

QJsonValue Codable<PairResponse>::encode(const PairResponse& v, const Encoder& e)
{
    return ObjectEncoder(e).set(QStringLiteral("token"), v.token).set(QStringLiteral("account"), v.account).object();
}

SessionsResponse Codable<SessionsResponse>::decode(const Decoder& d)
{
    return SessionsResponse{d.decode<QList<AgentSession>>(QStringLiteral("sessions"))};
}

QJsonValue Codable<SessionsResponse>::encode(const SessionsResponse& v, const Encoder& e)
{
    return ObjectEncoder(e).set(QStringLiteral("sessions"), v.sessions).object();
}

OKResponse Codable<OKResponse>::decode(const Decoder& d)
{
    return OKResponse{d.decode<bool>(QStringLiteral("ok"))};
}

QJsonValue Codable<OKResponse>::encode(const OKResponse& v, const Encoder& e)
{
    return ObjectEncoder(e).set(QStringLiteral("ok"), v.ok).object();
}

SettingsPayload Codable<SettingsPayload>::decode(const Decoder& d)
{
    return SettingsPayload{d.decode<bool>(QStringLiteral("remoteApprovals"))};
}

QJsonValue Codable<SettingsPayload>::encode(const SettingsPayload& v, const Encoder& e)
{
    return ObjectEncoder(e).set(QStringLiteral("remoteApprovals"), v.remoteApprovals).object();
}

DecisionBody Codable<DecisionBody>::decode(const Decoder& d)
{
    return DecisionBody{d.decode<PermissionDecision>(QStringLiteral("decision"))};
}

QJsonValue Codable<DecisionBody>::encode(const DecisionBody& v, const Encoder& e)
{
    return ObjectEncoder(e).set(QStringLiteral("decision"), v.decision).object();
}

} // namespace idlewyn::json
