#include "design/fill_style.h"

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

QBrush FillStyle::brush(const QPalette& palette, QPalette::ColorRole foreground) const
{
    if (const auto* level = std::get_if<Level>(&m_value)) {
        QColor color = palette.color(foreground);
        color.setAlphaF(color.alphaF() * float(opacity(*level)));
        return color;
    }
    if (const auto* color = std::get_if<Color>(&m_value)) {
        return color->resolved(palette);
    }
    return QBrush(std::get<QGradient>(m_value));
}

} // namespace idlewyn
