#include "design/color.h"

#include <algorithm>

namespace idlewyn {

Appearance appearanceOf(const QPalette& palette)
{
    const QColor window = palette.color(QPalette::Active, QPalette::Window);
    if (!window.isValid() || window.alpha() == 0) {
        return Appearance::unspecified;
    }
    const QColor rgb = window.toRgb();
    const qreal luminance = 0.2126 * rgb.redF() + 0.7152 * rgb.greenF() + 0.0722 * rgb.blueF();
    return luminance < 0.5 ? Appearance::dark : Appearance::light;
}

Color::Color(const QColor& fixed)
    : m_light(fixed)
    , m_dark(fixed)
{
}

Color::Color(const QColor& light, const QColor& dark)
    : m_light(light)
    , m_dark(dark)
{
}

QColor Color::resolved(Appearance appearance) const
{
    return appearance == Appearance::dark ? m_dark : m_light;
}

QColor Color::resolved(const QPalette& palette) const
{
    return resolved(appearanceOf(palette));
}

Color Color::withOpacity(qreal opacity) const
{
    QColor light = m_light;
    QColor dark = m_dark;
    light.setAlphaF(std::clamp(light.alphaF() * float(opacity), 0.0f, 1.0f));
    dark.setAlphaF(std::clamp(dark.alphaF() * float(opacity), 0.0f, 1.0f));
    return Color(light, dark);
}

} // namespace idlewyn
