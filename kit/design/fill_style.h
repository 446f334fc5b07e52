#pragma once

#include "design/color.h"

#include <QBrush>
#include <QGradient>
#include <QGuiApplication>
#include <QPalette>
#include <variant>

namespace idlewyn {

// What text and glyphs are filled with: a colour (fixed or adaptive), a
// gradient, or a level of the widget's own foreground colour (primary,
// secondary, …), kept behind one type so a component can take "any style".
//
//     new ActivityLine(text, FillStyle::secondary());
//     new ActivityLine(text, tint(SessionStatus::working));
//     new ActivityLine(text, QGradient(QGradient::NightFade));
//
// Gradients are laid over the bounds of what is drawn: pass them in
// QGradient::ObjectBoundingMode (the default for a QGradient preset) or in
// the coordinates of the widget that draws them.
class FillStyle {
public:
    enum class Level { primary, secondary, tertiary, quaternary };

    FillStyle();                          // primary
    FillStyle(const Color& color);        // NOLINT(google-explicit-constructor)
    FillStyle(const QColor& color);       // NOLINT(google-explicit-constructor)
    FillStyle(const QGradient& gradient); // NOLINT(google-explicit-constructor)

    static FillStyle primary() { return FillStyle(Level::primary); }
    static FillStyle secondary() { return FillStyle(Level::secondary); }
    static FillStyle tertiary() { return FillStyle(Level::tertiary); }
    static FillStyle quaternary() { return FillStyle(Level::quaternary); }

    // The opacity of a level over the foreground colour: 1, 0.5, 0.26, 0.1.
    static qreal opacity(Level level);

    // The brush to draw with over `palette`: levels take its `foreground`
    // colour, adaptive colours its appearance.
    QBrush brush(const QPalette& palette, QPalette::ColorRole foreground = QPalette::WindowText) const;
    // The same in `widget` (its palette and foreground role); the application
    // palette for nullptr. A template, so this header needs Qt Gui only.
    template <typename Widget>
    QBrush brush(const Widget* widget) const
    {
        return widget ? brush(widget->palette(), widget->foregroundRole()) : brush(QGuiApplication::palette());
    }

    bool isGradient() const { return std::holds_alternative<QGradient>(m_value); }
    bool operator==(const FillStyle&) const = default;

private:
    explicit FillStyle(Level level);
    std::variant<Level, Color, QGradient> m_value;
};

} // namespace idlewyn
