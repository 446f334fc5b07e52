#pragma once

#include "design/color.h"
#include "model/agent_provider.h"
#include "model/session_status.h"

#include <QColor>
#include <QLinearGradient>

namespace idlewyn {

// The colours and opacities of the design system. Every colour is created
// once, on first use, and shared; adaptive ones (Color) pick their light or
// dark value when drawn:
//
//     painter.setBrush(Palette::Status::waiting().resolved(widget));
//
// Fixed colours are plain QColors.
namespace Palette {

const QColor& ink();                    // #1B2A5E
const QColor& inkDeep();                // #070B1C
const QColor& moon();                   // #FFF6DC
const QColor& nightRed();               // sRGB 1.0, 0.28, 0.22: the night-mode multiply colour
const QColor& skyGlow();                // ink at 0.9
const QColor& liveActivityBackground(); // inkDeep at 0.85
// ink at the top to inkDeep at the bottom, in object-bounding coordinates, so
// a brush made from it spans whatever rectangle it fills.
const QLinearGradient& sky();

// Text and glyphs drawn on a filled status-coloured shape.
const Color& onStatusFill();  // #F6F2E9 / #070B1C
const Color& providerBadge(); // #4A4E63 / #C9C6D6

// Opacity of a disabled control.
inline constexpr qreal disabledOpacity = 0.55;

// Reached through tint(SessionStatus) by most callers.
namespace Status {
const Color& working();  // #0062CC / #6CB8FF
const Color& waiting();  // #B84A00 / #FFA630
const Color& finished(); // #1A7F37 / #3DD66B
const Color& failed();   // #C62828 / #FF7B72
const Color& idle();     // #636366 / #A1A1A6
} // namespace Status

// Text and surfaces on the dark night-sky background; fixed.
namespace OnDark {
const QColor& primary();    // #F6F2E9
const QColor& secondary();  // primary at 0.72
const QColor& tertiary();   // primary at 0.58
const QColor& card();       // inkDeep at 0.6
const QColor& cardRaised(); // ink at 0.95
} // namespace OnDark

// Opacities at which a tint is laid over a surface.
namespace Tint {
inline constexpr qreal fill = 0.15;
inline constexpr qreal strongFill = 0.22;
inline constexpr qreal border = 0.20;
inline constexpr qreal strongBorder = 0.70;
inline constexpr qreal hover = 0.15;
inline constexpr qreal pressed = 0.28;
} // namespace Tint

} // namespace Palette

// One colour per provider: both share Palette::providerBadge(), since
// providers are told apart by name and icon, not by colour.
const Color& tint(AgentProvider provider);
// The status colour: working, waiting, finished, failed or idle.
const Color& tint(SessionStatus status);

} // namespace idlewyn
