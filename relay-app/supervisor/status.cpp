#include "supervisor/status.h"

#include <QHashFunctions>

namespace vesperline {

size_t qHash(const PairedToken& token, size_t seed) noexcept
{
    auto part = [](const std::optional<QString>& value) { return value.value_or(QString()); };
    return qHashMulti(seed, token.id, token.provider.has_value(), part(token.provider), token.createdAt.has_value(),
                      part(token.createdAt), token.lastSeenAt.has_value(), part(token.lastSeenAt));
}

} // namespace vesperline

namespace idlewyn::json {

vesperline::PairedToken Codable<vesperline::PairedToken>::decode(const Decoder& d)
{
    return vesperline::PairedToken{
        d.decode<QString>(QStringLiteral("id")),
        d.decodeIfPresent<QString>(QStringLiteral("provider")),
        d.decodeIfPresent<QString>(QStringLiteral("createdAt")),
        d.decodeIfPresent<QString>(QStringLiteral("lastSeenAt")),
    };
}

QJsonValue Codable<vesperline::PairedToken>::encode(const vesperline::PairedToken& v, const Encoder& e)
{
    return ObjectEncoder(e)
        .set(QStringLiteral("id"), v.id)
        .setIfPresent(QStringLiteral("provider"), v.provider)
        .setIfPresent(QStringLiteral("createdAt"), v.createdAt)
        .setIfPresent(QStringLiteral("lastSeenAt"), v.lastSeenAt)
        .object();
}

vesperline::Status Codable<vesperline::Status>::decode(const Decoder& d)
{
    return vesperline::Status{
        d.decode<QString>(QStringLiteral("version")),
        d.decode<QList<AgentSession>>(QStringLiteral("sessions")),
        d.decode<bool>(QStringLiteral("remoteApprovals")),
        d.decode<bool>(QStringLiteral("pushConfigured")),
        d.decode<QString>(QStringLiteral("pairingLink")),
        d.decode<QString>(QStringLiteral("pairingCode")),
        d.decodeIfPresent<QString>(QStringLiteral("tlsFingerprint")),
        d.decode<QList<vesperline::PairedToken>>(QStringLiteral("tokens")),
    };
}

QJsonValue Codable<vesperline::Status>::encode(const vesperline::Status& v, const Encoder& e)
{
    return ObjectEncoder(e)
        .set(QStringLiteral("version"), v.version)
        .set(QStringLiteral("sessions"), v.sessions)
        .set(QStringLiteral("remoteApprovals"), v.remoteApprovals)
        .set(QStringLiteral("pushConfigured"), v.pushConfigured)
        .set(QStringLiteral("pairingLink"), v.pairingLink)
        .set(QStringLiteral("pairingCode"), v.pairingCode)
        .setIfPresent(QStringLiteral("tlsFingerprint"), v.tlsFingerprint)
        .set(QStringLiteral("tokens"), v.tokens)
        .object();
}

} // namespace idlewyn::json
