#pragma once

#include "model/agent_session.h"

#include <QAbstractListModel>
#include <QList>
#include <QSet>

namespace vesperline {

// The sessions of the last refresh in display order, one row each, with the
// fields the list and the prompt need as roles. A refresh that keeps the same
// sessions in the same order updates the rows in place, so a list that is
// scrolled or a row that is pressed is not rebuilt every two seconds.
class SessionListModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ rowCount NOTIFY countChanged)

public:
    enum Role {
        KeyRole = Qt::UserRole + 1,
        SessionIdRole,
        ProviderRole,
        ProviderNameRole,
        TitleRole,
        ProjectNameRole,
        DirectoryRole,
        StatusRole,
        StatusLabelRole,
        SummaryRole,
        ActivityRole,
        RunningSinceRole,
        UpdatedAtRole,
        TaskDoneRole,
        TaskTotalRole,
        HasPromptRole,
        PromptIdRole,
        ToolNameRole,
        DetailRole,
        AlwaysRuleRole,
        IsDemoRole,
        IsStaleRole,
    };

    using QAbstractListModel::QAbstractListModel;

    // Sessions are taken as they come: order them first. A provider in
    // `staleProviders` failed its last refresh, so its rows are last known.
    void setSessions(QList<idlewyn::AgentSession> sessions, bool demo, QSet<idlewyn::AgentProvider> staleProviders);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The row's fields by role name, as QML reads a row (empty for no such key).
    Q_INVOKABLE QVariantMap get(const QString& key) const;
    const QList<idlewyn::AgentSession>& sessions() const { return m_sessions; }

signals:
    void countChanged();

private:
    QVariant value(const idlewyn::AgentSession& session, int role) const;

    QList<idlewyn::AgentSession> m_sessions;
    bool m_demo = false;
    QSet<idlewyn::AgentProvider> m_stale;
};

// Sessions of both providers may share an id; the provider makes it unique.
QString sessionKey(const idlewyn::AgentSession& session);

} // namespace vesperline
