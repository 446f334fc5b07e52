#include "app/session_list_model.h"

#include "model/session_status.h"

#include <algorithm>

namespace vesperline {

using idlewyn::AgentSession;

QString sessionKey(const AgentSession& session)
{
    return idlewyn::rawValue(session.provider) + u':' + session.id;
}

void SessionListModel::setSessions(QList<AgentSession> sessions, bool demo, QSet<idlewyn::AgentProvider> staleProviders)
{
    const bool sameRows = std::equal(
        sessions.cbegin(), sessions.cend(), m_sessions.cbegin(), m_sessions.cend(),
        [](const AgentSession& a, const AgentSession& b) { return a.provider == b.provider && a.id == b.id; });
    if (sameRows) {
        m_sessions = std::move(sessions);
        m_demo = demo;
        m_stale = std::move(staleProviders);
        if (!m_sessions.isEmpty()) {
            emit dataChanged(index(0), index(int(m_sessions.size()) - 1));
        }
        return;
    }
    beginResetModel();
    m_sessions = std::move(sessions);
    m_demo = demo;
    m_stale = std::move(staleProviders);
    endResetModel();
    emit countChanged();
}

int SessionListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_sessions.size());
}

QVariant SessionListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    return value(m_sessions.at(index.row()), role);
}

QVariant SessionListModel::value(const AgentSession& session, int role) const
{
    const auto& prompt = session.permission;
    switch (role) {
    case KeyRole:
        return sessionKey(session);
    case SessionIdRole:
        return session.id;
    case ProviderRole:
        return idlewyn::rawValue(session.provider);
    case ProviderNameRole:
        return idlewyn::displayName(session.provider);
    case TitleRole:
        return session.title;
    case ProjectNameRole:
        return session.projectName();
    case DirectoryRole:
        return session.workingDirectory.value_or(QString());
    case StatusRole:
        return idlewyn::rawValue(session.status);
    case StatusLabelRole:
        return idlewyn::label(session.status);
    case SummaryRole:
        return session.displaySummary().value_or(QString());
    case ActivityRole:
        return session.currentActivity().value_or(QString());
    case RunningSinceRole:
        return session.runningSince().value_or(QDateTime());
    case UpdatedAtRole:
        return session.updatedAt;
    case TaskDoneRole:
        return session.taskProgress() ? session.taskProgress()->done : 0;
    case TaskTotalRole:
        return session.taskProgress() ? session.taskProgress()->total : 0;
    case HasPromptRole:
        return prompt.has_value();
    case PromptIdRole:
        return prompt ? prompt->id : QString();
    case ToolNameRole:
        return prompt ? prompt->toolName : QString();
    case DetailRole:
        return prompt ? prompt->detail : QString();
    case AlwaysRuleRole:
        return prompt ? prompt->alwaysRule.value_or(QString()) : QString();
    case IsDemoRole:
        return m_demo;
    case IsStaleRole:
        return m_stale.contains(session.provider);
    default:
        return {};
    }
}

QHash<int, QByteArray> SessionListModel::roleNames() const
{
    return {
        {KeyRole, "key"},
        {SessionIdRole, "sessionId"},
        {ProviderRole, "provider"},
        {ProviderNameRole, "providerName"},
        {TitleRole, "title"},
        {ProjectNameRole, "projectName"},
        {DirectoryRole, "directory"},
        {StatusRole, "status"},
        {StatusLabelRole, "statusLabel"},
        {SummaryRole, "summary"},
        {ActivityRole, "activity"},
        {RunningSinceRole, "runningSince"},
        {UpdatedAtRole, "updatedAt"},
        {TaskDoneRole, "taskDone"},
        {TaskTotalRole, "taskTotal"},
        {HasPromptRole, "hasPrompt"},
        {PromptIdRole, "promptId"},
        {ToolNameRole, "toolName"},
        {DetailRole, "detail"},
        {AlwaysRuleRole, "alwaysRule"},
        {IsDemoRole, "isDemo"},
        {IsStaleRole, "isStale"},
    };
}

QVariantMap SessionListModel::get(const QString& key) const
{
    QVariantMap row;
    const auto found = std::find_if(m_sessions.cbegin(), m_sessions.cend(),
                                    [&](const AgentSession& session) { return sessionKey(session) == key; });
    if (found == m_sessions.cend()) {
        return row;
    }
    const QHash<int, QByteArray> names = roleNames();
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        row.insert(QString::fromLatin1(it.value()), value(*found, it.key()));
    }
    return row;
}

} // namespace vesperline
