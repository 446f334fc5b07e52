#pragma once

#include "model/agent_session.h"
#include "model/json_coding.h"

#include <QList>
#include <QString>
#include <optional>

namespace vesperline {

// One paired phone credential (a phone usually holds one per provider). The
// dates stay text as the relay sent them; the paired-phones window parses
// them for display.
struct PairedToken {
    QString id;
    std::optional<QString> provider;
    std::optional<QString> createdAt;
    std::optional<QString> lastSeenAt;

    bool operator==(const PairedToken&) const = default;

    static constexpr auto fields()
    {
        return std::tuple{idlewyn::field(u"id", &PairedToken::id), idlewyn::field(u"provider", &PairedToken::provider),
                          idlewyn::field(u"createdAt", &PairedToken::createdAt),
                          idlewyn::field(u"lastSeenAt", &PairedToken::lastSeenAt)};
    }
};

inline size_t qHash(const PairedToken& token, size_t seed = 0)
{
    return idlewyn::hashFields(token, seed);
}

// The relay's status document (GET v1/admin/status): the only picture of
// the relay the application has. Unknown keys are ignored; a missing
// required key or a wrong type fails the whole document.
struct Status {
    QString version;
    QList<idlewyn::AgentSession> sessions;
    bool remoteApprovals = false;
    bool pushConfigured = false;
    QString pairingLink;
    QString pairingCode;
    std::optional<QString> tlsFingerprint; // absent or null: none
    QList<PairedToken> tokens;

    bool operator==(const Status&) const = default;

    static constexpr auto fields()
    {
        using idlewyn::field;
        return std::tuple{field(u"version", &Status::version),
                          field(u"sessions", &Status::sessions),
                          field(u"remoteApprovals", &Status::remoteApprovals),
                          field(u"pushConfigured", &Status::pushConfigured),
                          field(u"pairingLink", &Status::pairingLink),
                          field(u"pairingCode", &Status::pairingCode),
                          field(u"tlsFingerprint", &Status::tlsFingerprint),
                          field(u"tokens", &Status::tokens)};
    }
};

} // namespace vesperline
