#include "design/fill_style.h"

#include <QGuiApplication>
#include <QPalette>
#include <QWidget>

namespace idlewyn {

FillStyle::FillStyle()
    : value_(Level::primary)
{
}

FillStyle::FillStyle(Level level)
    : value_(level)
{
}

FillStyle::FillStyle(const Color& color)
    : value_(color)
{
}

FillStyle::FillStyle(const QColor& color)
    : value_(Color(color))
{
}

FillStyle::FillStyle(const QGradient& gradient)
    : value_(gradient)
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
    if (const auto* level = std::get_if<Level>(&value_)) {
        QColor color = widget ? widget->palette().color(widget->foregroundRole())
                              : QGuiApplication::palette().color(QPalette::WindowText);
        color.setAlphaF(color.alphaF() * float(opacity(*level)));
        return color;
    }
    if (const auto* color = std::get_if<Color>(&value_)) {
        return color->resolved(widget);
    }
    return QBrush(std::get<QGradient>(value_));
}

} // namespace idlewyn
