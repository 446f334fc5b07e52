#include "model/agent_session.h"

#include <QHashFunctions>

namespace idlewyn {

QString AgentSession::projectName() const
{
    if (workingDirectory && !workingDirectory->isEmpty()) {
        QStringView path(*workingDirectory);
        while (path.size() > 1 && path.endsWith(u'/')) {
            path.chop(1);
        }
        const qsizetype slash = path.lastIndexOf(u'/');
        if (slash < 0) {
            return path.toString();
        }
        if (path.size() == 1) {
            return path.toString(); // the root directory itself
        }
        return path.mid(slash + 1).toString();
    }
    return title;
}

std::optional<QDateTime> AgentSession::runningSince() const
{
    if (status == SessionStatus::working) {
        return turnStartedAt;
    }
    return std::nullopt;
}

std::optional<TaskProgress> AgentSession::taskProgress() const
{
    if (taskTotal && *taskTotal >= 1) {
        return TaskProgress{taskDone.value_or(0), *taskTotal};
    }
    return std::nullopt;
}

std::optional<QString> AgentSession::displaySummary() const
{
    if (summary && !summary->isEmpty()) {
        return summary;
    }
    return std::nullopt;
}

std::optional<QString> AgentSession::currentActivity() const
{
    if (status == SessionStatus::working && activity && !activity->isEmpty()) {
        return activity;
    }
    return std::nullopt;
}

namespace {
template <class T>
size_t hashOptional(const std::optional<T>& value, size_t seed)
{
    return value ? qHashMulti(seed, 1, *value) : qHashMulti(seed, 0);
}
} // namespace

size_t qHash(const AgentSession& s, size_t seed) noexcept
{
    seed = qHashMulti(seed, s.id, s.provider, s.title, s.status, s.startedAt.toMSecsSinceEpoch(),
                      s.updatedAt.toMSecsSinceEpoch());
    seed = hashOptional(s.workingDirectory, seed);
    seed = hashOptional(s.summary, seed);
    seed = hashOptional(s.permission, seed);
    seed = hashOptional(s.activity, seed);
    seed = s.turnStartedAt ? qHashMulti(seed, 1, s.turnStartedAt->toMSecsSinceEpoch()) : qHashMulti(seed, 0);
    seed = hashOptional(s.taskDone, seed);
    return hashOptional(s.taskTotal, seed);
}

namespace json {

AgentSession Codable<AgentSession>::decode(const Decoder& d)
{
    return AgentSession{
        d.decode<QString>(QStringLiteral("id")),
        d.decode<AgentProvider>(QStringLiteral("provider")),
        d.decode<QString>(QStringLiteral("title")),
        d.decodeIfPresent<QString>(QStringLiteral("workingDirectory")),
        d.decode<SessionStatus>(QStringLiteral("status")),
        d.decode<QDateTime>(QStringLiteral("startedAt")),
        d.decode<QDateTime>(QStringLiteral("updatedAt")),
        d.decodeIfPresent<QString>(QStringLiteral("summary")),
        d.decodeIfPresent<PermissionPrompt>(QStringLiteral("permission")),
        d.decodeIfPresent<QString>(QStringLiteral("activity")),
        d.decodeIfPresent<QDateTime>(QStringLiteral("turnStartedAt")),
        d.decodeIfPresent<int>(QStringLiteral("taskDone")),
        d.decodeIfPresent<int>(QStringLiteral("taskTotal")),
    };
}

QJsonValue Codable<AgentSession>::encode(const AgentSession& v, const Encoder& e)
{
    return ObjectEncoder(e)
        .set(QStringLiteral("id"), v.id)
        .set(QStringLiteral("provider"), v.provider)
        .set(QStringLiteral("title"), v.title)
        .setIfPresent(QStringLiteral("workingDirectory"), v.workingDirectory)
        .set(QStringLiteral("status"), v.status)
        .set(QStringLiteral("startedAt"), v.startedAt)
        .set(QStringLiteral("updatedAt"), v.updatedAt)
        .setIfPresent(QStringLiteral("summary"), v.summary)
        .setIfPresent(QStringLiteral("permission"), v.permission)
        .setIfPresent(QStringLiteral("activity"), v.activity)
        .setIfPresent(QStringLiteral("turnStartedAt"), v.turnStartedAt)
        .setIfPresent(QStringLiteral("taskDone"), v.taskDone)
        .setIfPresent(QStringLiteral("taskTotal"), v.taskTotal)
        .object();
}

} // namespace json
} // namespace idlewyn
