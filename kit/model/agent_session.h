#pragma once

#include "model/agent_provider.h"
#include "model/json_coding.h"
#include "model/permission_prompt.h"
#include "model/session_status.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace idlewyn {

struct TaskProgress {
    int done = 0;
    int total = 0;

    bool operator==(const TaskProgress&) const = default;
};

// One coding-agent session as the relay reports it.
struct AgentSession {
    QString id;
    AgentProvider provider = AgentProvider::claude;
    QString title;
    std::optional<QString> workingDirectory;
    SessionStatus status = SessionStatus::idle;
    QDateTime startedAt;
    QDateTime updatedAt;
    std::optional<QString> summary;
    std::optional<PermissionPrompt> permission;
    std::optional<QString> activity;
    std::optional<QDateTime> turnStartedAt;
    std::optional<int> taskDone;
    std::optional<int> taskTotal;

    bool operator==(const AgentSession&) const = default;

    static constexpr auto fields()
    {
        return std::tuple{field(u"id", &AgentSession::id),
                          field(u"provider", &AgentSession::provider),
                          field(u"title", &AgentSession::title),
                          field(u"workingDirectory", &AgentSession::workingDirectory),
                          field(u"status", &AgentSession::status),
                          field(u"startedAt", &AgentSession::startedAt),
                          field(u"updatedAt", &AgentSession::updatedAt),
                          field(u"summary", &AgentSession::summary),
                          field(u"permission", &AgentSession::permission),
                          field(u"activity", &AgentSession::activity),
                          field(u"turnStartedAt", &AgentSession::turnStartedAt),
                          field(u"taskDone", &AgentSession::taskDone),
                          field(u"taskTotal", &AgentSession::taskTotal)};
    }

    // Last component of the working directory (a trailing slash does not
    // count), or the title when there is no directory.
    QString projectName() const;
    // The turn start while working; never falls back to startedAt.
    std::optional<QDateTime> runningSince() const;
    // Only when the relay reports a task list of at least one task.
    std::optional<TaskProgress> taskProgress() const;
    std::optional<QString> displaySummary() const;
    // A finished or waiting session shows no activity, whatever the relay sends.
    std::optional<QString> currentActivity() const;
};

inline size_t qHash(const AgentSession& session, size_t seed = 0)
{
    return hashFields(session, seed);
}

} // namespace idlewyn
