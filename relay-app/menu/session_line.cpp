#include "menu/session_line.h"

#include "menu/elided_label.h"

#include "design/activity_line.h"
#include "design/elapsed_label.h"
#include "design/fill_style.h"
#include "design/palette.h"
#include "design/provider_badge.h"
#include "design/spacing.h"
#include "design/status_indicator.h"
#include "design/task_progress_view.h"
#include "design/typography.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

using namespace idlewyn;

namespace vesperline {

namespace {

void setForeground(QLabel* label, const QColor& color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

} // namespace

SessionLine::SessionLine(const AgentSession& session, QWidget* parent)
    : QWidget(parent)
    , m_session(session)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(Spacing::s);
    row->setAlignment(Qt::AlignTop);

    auto* indicatorColumn = new QVBoxLayout;
    indicatorColumn->setContentsMargins(0, 2, 0, 0);
    m_indicator = new StatusIndicator(session.status, StatusIconSize::small, this);
    indicatorColumn->addWidget(m_indicator);
    indicatorColumn->addStretch(1);
    row->addLayout(indicatorColumn);

    auto* column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(Spacing::hairline);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(Spacing::xs);
    m_project = new ElidedLabel(Qt::ElideRight, this);
    m_project->setFont(Typography::rowTitleCompact());
    m_project->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_badge = new ProviderBadge(session.provider, /*compact=*/true, this);
    titleRow->addWidget(m_project, 0, Qt::AlignVCenter);
    titleRow->addWidget(m_badge, 0, Qt::AlignVCenter);
    titleRow->addStretch(1);
    column->addLayout(titleRow);

    m_activity = new ActivityLine(QString(), FillStyle::secondary(), /*showsIcon=*/false, /*compact=*/false, this);
    m_activity->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    column->addWidget(m_activity);
    m_summary = new ElidedLabel(Qt::ElideRight, this);
    m_summary->setFont(Typography::meta());
    column->addWidget(m_summary);

    m_progress = new TaskProgressView(0, 0, tint(session.status), this);
    column->addWidget(m_progress, 0, Qt::AlignLeft);
    row->addLayout(column, 1);

    row->addSpacing(Spacing::xs);

    auto* trailing = new QWidget(this);
    auto* trailingLayout = new QVBoxLayout(trailing);
    trailingLayout->setContentsMargins(0, 0, 0, 0);
    m_elapsed = new ElapsedLabel(session, trailing);
    m_elapsed->setMaximumWidth(Layout::timerColumn);
    m_elapsed->setFont(Typography::number());
    m_elapsed->setAlignment(Qt::AlignRight | Qt::AlignTop);
    m_statusLabel = new QLabel(trailing);
    m_statusLabel->setFont(Typography::number());
    m_statusLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    trailingLayout->addWidget(m_elapsed, 0, Qt::AlignRight | Qt::AlignTop);
    trailingLayout->addWidget(m_statusLabel, 0, Qt::AlignRight | Qt::AlignTop);
    trailingLayout->addStretch(1);
    row->addWidget(trailing, 0, Qt::AlignTop);

    render();
}

void SessionLine::setSession(const AgentSession& session)
{
    m_session = session;
    render();
}

void SessionLine::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange) {
        // Adaptive tints resolve against the palette: pick them again.
        QWidget::changeEvent(event);
        render();
        return;
    }
    QWidget::changeEvent(event);
}

QString SessionLine::projectText() const
{
    return m_session.projectName();
}

std::optional<QString> SessionLine::secondLineText() const
{
    if (const auto activity = m_session.currentActivity()) {
        return activity;
    }
    return m_session.displaySummary();
}

bool SessionLine::showsActivity() const
{
    return m_session.currentActivity().has_value();
}

bool SessionLine::showsTaskProgress() const
{
    return m_session.taskProgress().has_value();
}

bool SessionLine::showsTimer() const
{
    return m_session.runningSince().has_value();
}

QString SessionLine::trailingText() const
{
    return showsTimer() ? m_elapsed->text() : label(m_session.status);
}

void SessionLine::render()
{
    const Color& statusTint = tint(m_session.status);
    m_indicator->setStatus(m_session.status);
    m_project->setFullText(m_session.projectName());
    m_badge->setProvider(m_session.provider);

    const auto activity = m_session.currentActivity();
    const auto summary = m_session.displaySummary();
    m_activity->setVisible(activity.has_value());
    m_activity->setText(activity.value_or(QString()));
    m_summary->setVisible(!activity && summary);
    m_summary->setFullText(summary.value_or(QString()));
    setForeground(m_summary, FillStyle::secondary().brush(this).color());

    const auto progress = m_session.taskProgress();
    m_progress->setVisible(progress.has_value());
    if (progress) {
        m_progress->setProgress(progress->done, progress->total);
        m_progress->setTint(statusTint);
    }

    const bool timer = m_session.runningSince().has_value();
    m_elapsed->setVisible(timer);
    m_elapsed->setSession(m_session);
    m_elapsed->setForeground(statusTint);
    m_statusLabel->setVisible(!timer);
    m_statusLabel->setText(label(m_session.status));
    setForeground(m_statusLabel, statusTint.resolved(this));

    setAccessibleName(m_session.projectName() + QStringLiteral(", ") + label(m_session.status));
}

} // namespace vesperline
