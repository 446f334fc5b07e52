#pragma once

#include "model/agent_session.h"

#include <QDateTime>
#include <QList>
#include <QStringList>

namespace idlewyn {

// Plausible, moving sessions for a user interface with nothing paired.
namespace DemoSessions {

struct Template {
    QString title;
    QString directory;
    double period;
    QStringList tools;
};

const QList<Template>& templates(AgentProvider provider);

// A pure function of the provider and the moment: each session runs its own
// cycle of working, then waiting for input, then finished.
QList<AgentSession> sessions(AgentProvider provider, const QDateTime& date);

} // namespace DemoSessions
} // namespace idlewyn
