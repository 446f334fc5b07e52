#pragma once

#include "model/json_coding.h"

#include <QHashFunctions>
#include <QList>
#include <QString>
#include <optional>

namespace idlewyn {

enum class SessionStatus { working, waitingForInput, finished, failed, idle };

namespace SessionStatuses {
const QList<SessionStatus>& allCases();
}

QString rawValue(SessionStatus status);
// Exact match only; decoding is more forgiving (see Codable below).
std::optional<SessionStatus> sessionStatusFromRawValue(const QString& raw);

QString label(SessionStatus status);
QString symbolName(SessionStatus status);
// Lower sorts first: waiting for input, working, failed, finished, idle.
int sortRank(SessionStatus status);
bool needsAttention(SessionStatus status);
inline bool isWorking(SessionStatus status) { return status == SessionStatus::working; }

inline size_t qHash(SessionStatus status, size_t seed = 0) noexcept
{
    return ::qHash(static_cast<int>(status), seed);
}

namespace json {
template <>
struct Codable<SessionStatus> {
    // A status word from a newer relay must not make the whole list unreadable:
    // anything we do not know reads as idle. Only a non-string fails.
    static SessionStatus decode(const Decoder& decoder);
    static QJsonValue encode(SessionStatus value, const Encoder&) { return rawValue(value); }
};
} // namespace json

} // namespace idlewyn
