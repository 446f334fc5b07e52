#include "design/activity_line.h"

#include "design/session_drawing.h"

#include <QPainter>

#include <cmath>

namespace idlewyn {

ActivityLine::ActivityLine(const QString& text, const FillStyle& style, bool showsIcon, bool compact, QWidget* parent)
    : QWidget(parent)
    , m_text(text)
    , m_style(style)
    , m_showsIcon(showsIcon)
    , m_compact(compact)
{
    setFont(SessionDrawing::activityLineFont(m_compact));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleName(m_text);
}

void ActivityLine::setText(const QString& text)
{
    if (text != m_text) {
        m_text = text;
        setAccessibleName(m_text);
        inputsChanged();
    }
}

void ActivityLine::setFillStyle(const FillStyle& style)
{
    m_style = style;
    update();
}

void ActivityLine::setShowsIcon(bool showsIcon)
{
    if (showsIcon != m_showsIcon) {
        m_showsIcon = showsIcon;
        inputsChanged();
    }
}

void ActivityLine::setCompact(bool compact)
{
    if (compact != m_compact) {
        m_compact = compact;
        setFont(SessionDrawing::activityLineFont(m_compact));
        inputsChanged();
    }
}

void ActivityLine::inputsChanged()
{
    updateGeometry();
    update();
}

QString ActivityLine::displayedText() const
{
    return SessionDrawing::elidedActivity(font(), m_text, m_showsIcon, width());
}

QSize ActivityLine::sizeHint() const
{
    const QSizeF size = SessionDrawing::activityLineSize(font(), m_text, m_showsIcon);
    return {int(std::ceil(size.width())), int(std::ceil(size.height()))};
}

QSize ActivityLine::minimumSizeHint() const
{
    return {int(std::ceil(SessionDrawing::activityLineMinimumWidth(font(), m_showsIcon))), sizeHint().height()};
}

void ActivityLine::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    SessionDrawing::activityLine(painter, rect(), font(), m_text, m_showsIcon, m_style.brush(this));
}

} // namespace idlewyn
