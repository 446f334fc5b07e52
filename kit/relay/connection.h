#pragma once

#include "model/agent_provider.h"
#include "model/json_coding.h"

#include <QDateTime>
#include <QString>
#include <QUrl>
#include <optional>

namespace idlewyn {

// What a paired device keeps per agent provider: where the relay is, the
// token it issued and which certificate to trust.
struct Connection {
    AgentProvider provider = AgentProvider::claude;
    std::optional<QUrl> serverURL; // absent only for a demo connection
    QString accessToken;
    QString accountName;
    QDateTime connectedAt;
    std::optional<QString> certificatePin; // normalised; absent for plain http

    bool operator==(const Connection&) const = default;

    // Use with json::plain: the store writes the URL as its absolute string
    // and connectedAt as seconds since 2001-01-01T00:00:00Z.
    static constexpr auto fields()
    {
        return std::tuple{
            field(u"provider", &Connection::provider),       field(u"serverURL", &Connection::serverURL),
            field(u"accessToken", &Connection::accessToken), field(u"accountName", &Connection::accountName),
            field(u"connectedAt", &Connection::connectedAt), field(u"certificatePin", &Connection::certificatePin)};
    }

    // A device has at most one connection per provider.
    AgentProvider id() const { return provider; }
    bool isDemo() const { return !serverURL.has_value(); }

    static Connection demo(AgentProvider provider);
};

inline size_t qHash(const Connection& connection, size_t seed = 0)
{
    return hashFields(connection, seed);
}

} // namespace idlewyn
