#pragma once

#include "model/agent_session.h"

#include <QWidget>

class QLabel;
class QVBoxLayout;
class QStackedLayout;

namespace idlewyn {
class StatusIndicator;
class ProviderBadge;
class ActivityLine;
class TaskProgressView;
class ElapsedLabel;
} // namespace idlewyn

namespace vesperline {

class ElidedLabel;

// One session in the menu: status glyph, project name with a compact
// provider badge, what it is doing (or its summary), its task progress, and
// on the right either a live timer (working with a turn start) or the
// status label, in the status tint.
class SessionLine : public QWidget {
    Q_OBJECT

public:
    explicit SessionLine(const idlewyn::AgentSession& session, QWidget* parent = nullptr);

    const idlewyn::AgentSession& session() const { return m_session; }
    // Updates in place (a changed status pulses the indicator once).
    void setSession(const idlewyn::AgentSession& session);

    // What the line shows, for tests and assistive technology.
    QString projectText() const;
    std::optional<QString> secondLineText() const;
    bool showsActivity() const;
    bool showsTaskProgress() const;
    bool showsTimer() const;
    QString trailingText() const;

    idlewyn::StatusIndicator* statusIndicator() const { return m_indicator; }
    idlewyn::TaskProgressView* taskProgress() const { return m_progress; }
    idlewyn::ElapsedLabel* elapsedLabel() const { return m_elapsed; }
    QLabel* statusLabel() const { return m_statusLabel; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void render();

    idlewyn::AgentSession m_session;
    idlewyn::StatusIndicator* m_indicator;
    ElidedLabel* m_project;
    idlewyn::ProviderBadge* m_badge;
    idlewyn::ActivityLine* m_activity;
    ElidedLabel* m_summary;
    idlewyn::TaskProgressView* m_progress;
    idlewyn::ElapsedLabel* m_elapsed;
    QLabel* m_statusLabel;
};

} // namespace vesperline
