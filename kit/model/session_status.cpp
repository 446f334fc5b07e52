#include "model/session_status.h"

namespace idlewyn {

QString label(SessionStatus status)
{
    switch (status) {
    case SessionStatus::working:
        return QStringLiteral("Working");
    case SessionStatus::waitingForInput:
        return QStringLiteral("Needs input");
    case SessionStatus::finished:
        return QStringLiteral("Finished");
    case SessionStatus::failed:
        return QStringLiteral("Failed");
    case SessionStatus::idle:
        return QStringLiteral("Idle");
    }
    return {};
}

QString symbolName(SessionStatus status)
{
    switch (status) {
    case SessionStatus::working:
        return QStringLiteral("circle.dotted.circle");
    case SessionStatus::waitingForInput:
        return QStringLiteral("hand.raised.fill");
    case SessionStatus::finished:
        return QStringLiteral("checkmark.circle.fill");
    case SessionStatus::failed:
        return QStringLiteral("exclamationmark.triangle.fill");
    case SessionStatus::idle:
        return QStringLiteral("moon.zzz.fill");
    }
    return {};
}

int sortRank(SessionStatus status)
{
    switch (status) {
    case SessionStatus::waitingForInput:
        return 0;
    case SessionStatus::working:
        return 1;
    case SessionStatus::failed:
        return 2;
    case SessionStatus::finished:
        return 3;
    case SessionStatus::idle:
        return 4;
    }
    return 4;
}

bool needsAttention(SessionStatus status)
{
    return status == SessionStatus::waitingForInput || status == SessionStatus::finished
        || status == SessionStatus::failed;
}

SessionStatus json::Codable<SessionStatus>::decode(const Decoder& decoder)
{
    return sessionStatusFromRawValue(decoder.string()).value_or(SessionStatus::idle);
}

} // namespace idlewyn
