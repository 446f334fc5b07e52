#pragma once

#include "model/agent_provider.h"
#include "model/agent_session.h"
#include "model/permission_prompt.h"
#include "relay/connection.h"
#include "relay/http_session.h"
#include "relay/push_token_registration.h"
#include "relay/relay_error.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <optional>

#include <qcoro/qcorotask.h>

namespace idlewyn {

// The device side of the relay: every operation is one request to the relay
// the connection names. The client holds nothing but the session it uses for
// relays without a pin, so copies are interchangeable and every operation
// keeps what it needs in its own frame: a task may outlive the client that
// started it (never the session, which must outlive its requests).
//
// Failures: RelayError; a transport failure that is not a certificate
// failure passes through as TransportError; a body that cannot be written
// fails with EncodingError before anything is sent. Demo connections (no
// server URL) make no request: empty list, false, or nothing.
class RelayClient {
public:
    static constexpr std::chrono::seconds requestTimeout{10};

    explicit RelayClient(HttpSession& urlSession = HttpSession::shared());

    HttpSession& urlSession() const { return *m_urlSession; }

    // Over https without a pin, trusts the relay's certificate on first use
    // and stores its fingerprint as the connection's pin; a given pin is
    // enforced and stored normalised.
    QCoro::Task<Connection> pair(AgentProvider provider, QUrl serverURL, QString code,
                                 std::optional<QString> certificatePin = std::nullopt) const;
    // Only the sessions of the connection's provider, in the relay's order.
    QCoro::Task<QList<AgentSession>> sessions(Connection connection) const;
    // The prompt id is one path segment of its own. An id that cannot be one
    // (empty, "." or "..") fails with invalidResponse without a request.
    QCoro::Task<> decide(PermissionDecision decision, QString promptID, Connection connection) const;
    QCoro::Task<bool> remoteApprovals(Connection connection) const;
    // The setting as the relay reports it after the change.
    QCoro::Task<bool> setRemoteApprovals(bool enabled, Connection connection) const;
    QCoro::Task<> registerPushToken(PushTokenRegistration registration, Connection connection) const;
    QCoro::Task<> unpair(Connection connection) const;

private:
    HttpSession* m_urlSession;
};

// `base` with the segments appended, one path segment each: one "/" joins
// them to the base's own path, and each segment is percent-encoded whole, so
// a "/" inside a segment is data (%2F), never a separator. Absent when a
// segment is empty, "." or "..": no encoding survives URL normalisation for
// those, and sent as they are they would name a different path.
std::optional<QUrl> appendingPathSegments(const QUrl& base, const QStringList& segments);

} // namespace idlewyn
