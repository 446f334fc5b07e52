#include "relay/relay_error.h"

namespace idlewyn {

namespace {

QString describe(RelayError::Kind kind, int status)
{
    switch (kind) {
    case RelayError::Kind::server:
        return QStringLiteral("The relay returned HTTP %1.").arg(status);
    case RelayError::Kind::invalidResponse:
        return QStringLiteral("The relay sent a response Vesperline doesn\u2019t understand.");
    case RelayError::Kind::unauthorized:
        return QStringLiteral("The relay rejected the pairing code or token. Pair again.");
    case RelayError::Kind::promptExpired:
        return QStringLiteral("That permission prompt was already answered or has expired.");
    case RelayError::Kind::certificateMismatch:
        return QStringLiteral("The relay\u2019s security certificate isn\u2019t the one Vesperline paired with. "
                              "If you reset the relay, pair again.");
    case RelayError::Kind::tooManyAttempts:
        return QStringLiteral("Too many wrong pairing codes. Wait a minute and try again.");
    }
    return {};
}

} // namespace

RelayError::RelayError(Kind kind, int status)
    : Error(describe(kind, status))
    , m_kind(kind)
    , m_status(status)
{
}

RelayError RelayError::server(int status)
{
    return RelayError(Kind::server, status);
}

RelayError RelayError::invalidResponse()
{
    return RelayError(Kind::invalidResponse, 0);
}

RelayError RelayError::unauthorized()
{
    return RelayError(Kind::unauthorized, 0);
}

RelayError RelayError::promptExpired()
{
    return RelayError(Kind::promptExpired, 0);
}

RelayError RelayError::certificateMismatch()
{
    return RelayError(Kind::certificateMismatch, 0);
}

RelayError RelayError::tooManyAttempts()
{
    return RelayError(Kind::tooManyAttempts, 0);
}

} // namespace idlewyn
