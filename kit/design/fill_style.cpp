#include "design/fill_style.h"

#include <QGuiApplication>
#include <QPalette>
#include <QWidget>

namespace idlewyn {

FillStyle::FillStyle()
    : m_value(Level::primary)
{
}

FillStyle::FillStyle(Level level)
    : m_value(level)
{
}

FillStyle::FillStyle(const Color& color)
    : m_value(color)
{
}

FillStyle::FillStyle(const QColor& color)
    : m_value(Color(color))
{
}

FillStyle::FillStyle(const QGradient& gradient)
    : m_value(gradient)
{
}

qreal FillStyle::opacity(Level level)
{
    // The label colours of the desktop platforms the design came from.
    switch (level) {
    case Level::primary:
        return 1.0;
    case Level::secondary:
        return 0.5;
    case Level::tertiary:
        return 0.26;
    case Level::quaternary:
        break;
    }
    return 0.1;
}

QBrush FillStyle::brush(const QWidget* widget) const
{
    if (const auto* level = std::get_if<Level>(&m_value)) {
        QColor color = widget ? widget->palette().color(widget->foregroundRole())
                              : QGuiApplication::palette().color(QPalette::WindowText);
        color.setAlphaF(color.alphaF() * float(opacity(*level)));
        return color;
    }
    if (const auto* color = std::get_if<Color>(&m_value)) {
        return color->resolved(widget);
    }
    return QBrush(std::get<QGradient>(m_value));
}

} // namespace idlewyn
