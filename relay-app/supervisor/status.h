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
};

size_t qHash(const PairedToken& token, size_t seed = 0) noexcept;

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
};

} // namespace vesperline

namespace idlewyn::json {

template <>
struct Codable<vesperline::PairedToken> {
    static vesperline::PairedToken decode(const Decoder& d);
    static QJsonValue encode(const vesperline::PairedToken& v, const Encoder& e);
};

template <>
struct Codable<vesperline::Status> {
    static vesperline::Status decode(const Decoder& d);
    static QJsonValue encode(const vesperline::Status& v, const Encoder& e);
};

} // namespace idlewyn::json
