#pragma once

#include "model/agent_provider.h"
#include "model/agent_session.h"
#include "model/permission_prompt.h"
#include "relay/connection.h"
#include "relay/push_token_registration.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

#include <qcoro/qcorotask.h>

namespace idlewyn {

// How a paired device's app reaches its relays. Arguments, results and
// failures are those of the same-named RelayClient operations.
class SessionService {
public:
    virtual ~SessionService() = default;

    virtual QCoro::Task<Connection> pair(AgentProvider provider, QUrl serverURL, QString code,
                                         std::optional<QString> certificatePin) = 0;
    virtual QCoro::Task<QList<AgentSession>> sessions(Connection connection) = 0;
    virtual QCoro::Task<> decide(PermissionDecision decision, QString promptID, Connection connection) = 0;
    virtual QCoro::Task<bool> remoteApprovals(Connection connection) = 0;
    virtual QCoro::Task<bool> setRemoteApprovals(bool enabled, Connection connection) = 0;
    virtual QCoro::Task<> registerPushToken(PushTokenRegistration registration, Connection connection) = 0;
    virtual QCoro::Task<> unpair(Connection connection) = 0;
};

} // namespace idlewyn
