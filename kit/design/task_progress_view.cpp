#include "design/task_progress_view.h"

#include "design/session_drawing.h"
#include "design/typography.h"

#include <QEvent>
#include <QPainter>

#include <cmath>

namespace idlewyn {

TaskProgressView::TaskProgressView(int done, int total, const Color& tint, QWidget* parent)
    : QWidget(parent)
    , m_done(done)
    , m_total(total)
    , m_tint(tint)
{
    setFont(Typography::numberSmall());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(accessibleLabel());
}

void TaskProgressView::setProgress(int done, int total)
{
    if (done != m_done || total != m_total) {
        m_done = done;
        m_total = total;
        inputsChanged();
    }
}

void TaskProgressView::setTint(const Color& tint)
{
    if (!(tint == m_tint)) {
        m_tint = tint;
        update();
    }
}

double TaskProgressView::value() const
{
    return SessionDrawing::TaskProgress{m_done, m_total}.value();
}

double TaskProgressView::maximum() const
{
    return SessionDrawing::TaskProgress{m_done, m_total}.maximum();
}

double TaskProgressView::fraction() const
{
    return SessionDrawing::TaskProgress{m_done, m_total}.fraction();
}

QString TaskProgressView::text() const
{
    return SessionDrawing::TaskProgress{m_done, m_total}.text();
}

QString TaskProgressView::accessibleLabel() const
{
    return SessionDrawing::TaskProgress{m_done, m_total}.accessibleLabel();
}

void TaskProgressView::inputsChanged()
{
    setAccessibleName(accessibleLabel());
    updateGeometry();
    update();
}

QSize TaskProgressView::sizeHint() const
{
    const QSizeF size = SessionDrawing::taskProgressSize(font(), {m_done, m_total});
    return {int(std::ceil(size.width())), int(std::ceil(size.height()))};
}

void TaskProgressView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    SessionDrawing::taskProgress(painter, rect(), font(), {m_done, m_total}, m_tint.resolved(this));
}

void TaskProgressView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

} // namespace idlewyn
