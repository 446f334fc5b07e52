#include "relay/live_session_service.h"

#include "model/demo_sessions.h"

#include <QSet>
#include <memory>
#include <vector>

namespace idlewyn {

namespace {

QCoro::Task<QList<AgentSession>> fetchSessions(RelayClient relay, Connection connection)
{
    if (connection.isDemo()) {
        co_return DemoSessions::sessions(connection.provider, QDateTime::currentDateTimeUtc());
    }
    co_return co_await relay.sessions(std::move(connection));
}

struct Merge {
    SessionSnapshot fallback;
    QList<AgentSession> sessions;
    QHash<AgentProvider, std::exception_ptr> errors;
    // A provider's last known sessions are shown once, however many of its
    // connections fail.
    QSet<AgentProvider> fellBack;
};

// Merges its result the moment it has one, so the shared list grows in
// completion order.
QCoro::Task<> fetchInto(RelayClient relay, Connection connection, std::shared_ptr<Merge> merge)
{
    const AgentProvider provider = connection.provider;
    try {
        const QList<AgentSession> sessions = co_await fetchSessions(relay, std::move(connection));
        merge->sessions.append(sessions);
    } catch (...) {
        merge->errors.insert(provider, std::current_exception());
        if (!merge->fellBack.contains(provider)) {
            merge->fellBack.insert(provider);
            merge->sessions.append(merge->fallback.sessionsFor(provider));
        }
    }
}

QCoro::Task<LiveSessionService::SnapshotResult> gather(RelayClient relay, QList<Connection> connections,
                                                       SessionSnapshot fallback)
{
    auto merge = std::make_shared<Merge>();
    merge->fallback = std::move(fallback);
    std::vector<QCoro::Task<>> children;
    children.reserve(static_cast<size_t>(connections.size()));
    for (const Connection& connection : connections) {
        children.push_back(fetchInto(relay, connection, merge));
    }
    for (QCoro::Task<>& child : children) {
        co_await child;
    }
    co_return LiveSessionService::SnapshotResult{SessionSnapshot{merge->sessions, QDateTime::currentDateTimeUtc()},
                                                 merge->errors};
}

} // namespace

LiveSessionService::LiveSessionService(RelayClient relay)
    : m_relay(relay)
{
}

QCoro::Task<Connection> LiveSessionService::pair(AgentProvider provider, QUrl serverURL, QString code,
                                                 std::optional<QString> certificatePin)
{
    return m_relay.pair(provider, std::move(serverURL), std::move(code), std::move(certificatePin));
}

QCoro::Task<QList<AgentSession>> LiveSessionService::sessions(Connection connection)
{
    return fetchSessions(m_relay, std::move(connection));
}

QCoro::Task<> LiveSessionService::decide(PermissionDecision decision, QString promptID, Connection connection)
{
    // The client already treats a demo connection as a no-op.
    return m_relay.decide(decision, std::move(promptID), std::move(connection));
}

QCoro::Task<bool> LiveSessionService::remoteApprovals(Connection connection)
{
    return m_relay.remoteApprovals(std::move(connection));
}

namespace {
QCoro::Task<bool> echo(bool value)
{
    co_return value;
}
} // namespace

QCoro::Task<bool> LiveSessionService::setRemoteApprovals(bool enabled, Connection connection)
{
    if (connection.isDemo()) {
        return echo(enabled);
    }
    return m_relay.setRemoteApprovals(enabled, std::move(connection));
}

QCoro::Task<> LiveSessionService::registerPushToken(PushTokenRegistration registration, Connection connection)
{
    return m_relay.registerPushToken(std::move(registration), std::move(connection));
}

QCoro::Task<> LiveSessionService::unpair(Connection connection)
{
    return m_relay.unpair(std::move(connection));
}

QCoro::Task<LiveSessionService::SnapshotResult> LiveSessionService::snapshot(QList<Connection> connections,
                                                                             SessionSnapshot fallback) const
{
    return gather(m_relay, std::move(connections), std::move(fallback));
}

} // namespace idlewyn
