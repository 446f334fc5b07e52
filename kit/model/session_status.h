#pragma once

#include "model/json_coding.h"

#include <QHashFunctions>
#include <QList>
#include <QString>
#include <optional>

namespace idlewyn {

enum class SessionStatus { working, waitingForInput, finished, failed, idle };

template <>
struct RawValues<SessionStatus> {
    static constexpr const char* typeName = "SessionStatus";
    static constexpr RawCase<SessionStatus> cases[] = {
        {SessionStatus::working, u"working"},   {SessionStatus::waitingForInput, u"waitingForInput"},
        {SessionStatus::finished, u"finished"}, {SessionStatus::failed, u"failed"},
        {SessionStatus::idle, u"idle"},
    };
};

namespace SessionStatuses {
inline const QList<SessionStatus>& allCases()
{
    return allCasesOf<SessionStatus>();
}
} // namespace SessionStatuses

inline QString rawValue(SessionStatus status)
{
    return rawValueOf(status);
}
// Exact match only; decoding is more forgiving (see Codable below).
inline std::optional<SessionStatus> sessionStatusFromRawValue(const QString& raw)
{
    return fromRawValue<SessionStatus>(raw);
}

QString label(SessionStatus status);
QString symbolName(SessionStatus status);
// Lower sorts first: waiting for input, working, failed, finished, idle.
int sortRank(SessionStatus status);
bool needsAttention(SessionStatus status);
inline bool isWorking(SessionStatus status)
{
    return status == SessionStatus::working;
}

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
