#pragma once

#include "model/session_snapshot.h"
#include "relay/relay_client.h"
#include "relay/session_service.h"

#include <QHash>
#include <exception>

namespace idlewyn {

// The session service of this kit: demo connections are answered from
// generated demo sessions without any network traffic, real ones by the
// relay client. Like the client, it keeps nothing between calls, and each
// task holds its own copy of the client.
class LiveSessionService final : public SessionService {
public:
    struct SnapshotResult {
        SessionSnapshot snapshot;
        // The failure of each provider whose request failed, as thrown
        // (RelayError, TransportError...); rethrow to inspect it.
        QHash<AgentProvider, std::exception_ptr> errors;
    };

    explicit LiveSessionService(RelayClient relay = RelayClient());

    const RelayClient& relay() const { return m_relay; }

    QCoro::Task<Connection> pair(AgentProvider provider, QUrl serverURL, QString code,
                                 std::optional<QString> certificatePin) override;
    QCoro::Task<QList<AgentSession>> sessions(Connection connection) override;
    QCoro::Task<> decide(PermissionDecision decision, QString promptID, Connection connection) override;
    QCoro::Task<bool> remoteApprovals(Connection connection) override;
    // A demo connection keeps whatever it is told.
    QCoro::Task<bool> setRemoteApprovals(bool enabled, Connection connection) override;
    QCoro::Task<> registerPushToken(PushTokenRegistration registration, Connection connection) override;
    QCoro::Task<> unpair(Connection connection) override;

    // Asks every connection at once and merges the answers in the order they
    // arrive. A provider whose request fails keeps the fallback's sessions
    // and reports its error; the snapshot as a whole never fails. The result
    // is not sorted: display order is the snapshot's business.
    QCoro::Task<SnapshotResult> snapshot(QList<Connection> connections, SessionSnapshot fallback) const;

private:
    RelayClient m_relay;
};

} // namespace idlewyn
