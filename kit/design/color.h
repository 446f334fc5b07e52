#pragma once

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

namespace idlewyn {

// The appearance something is drawn in. A palette whose window colour is
// missing or fully transparent says nothing about it: unspecified.
enum class Appearance { light, dark, unspecified };

// Dark when the palette's window colour is dark (relative luminance below one
// half), light when it is light.
Appearance appearanceOf(const QPalette& palette);
// The widget's effective palette (inherited from its parents); the
// application palette for nullptr. A template so that this header, and the
// drawing code under it, needs Qt Gui only: any QWidget (or other object with
// a palette()) fits.
template <typename Widget>
Appearance appearanceOf(const Widget* widget)
{
    return appearanceOf(widget ? widget->palette() : QGuiApplication::palette());
}

// A colour with a light and a dark value, chosen each time it is drawn, never
// when it is created: a widget that moves into a dark window, or a desktop that
// switches theme, gets the other value at its next paint.
//
//     const Color waiting(QColor(0xB8, 0x4A, 0x00), QColor(0xFF, 0xA6, 0x30));
//     painter.setPen(waiting.resolved(this));   // inside paintEvent
//
// A single-value Color (built from one QColor) is the same in both appearances.
class Color {
public:
    Color(const QColor& fixed); // NOLINT(google-explicit-constructor): any QColor is a Color
    Color(const QColor& light, const QColor& dark);

    const QColor& light() const { return m_light; }
    const QColor& dark() const { return m_dark; }
    bool isAdaptive() const { return m_light != m_dark; }

    // The dark value in a dark appearance; the light value otherwise, also
    // when the appearance is unspecified.
    QColor resolved(Appearance appearance) const;
    QColor resolved(const QPalette& palette) const;
    template <typename Widget>
    QColor resolved(const Widget* widget) const
    {
        return resolved(appearanceOf(widget));
    }

    // Both values with their alpha multiplied by opacity (0…1).
    Color withOpacity(qreal opacity) const;

    bool operator==(const Color&) const = default;

private:
    QColor m_light;
    QColor m_dark;
};

} // namespace idlewyn
