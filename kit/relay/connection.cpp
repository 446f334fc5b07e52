#include "relay/connection.h"

namespace idlewyn {

Connection Connection::demo(AgentProvider provider)
{
    return Connection{
        provider,    std::nullopt, QStringLiteral("mock"), QStringLiteral("Demo"), QDateTime::currentDateTimeUtc(),
        std::nullopt};
}

} // namespace idlewyn
