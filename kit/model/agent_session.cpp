#include "model/agent_session.h"

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

} // namespace idlewyn
