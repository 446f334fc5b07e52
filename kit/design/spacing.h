#pragma once

// Lengths of the design system, in device-independent pixels (Qt's logical
// pixels, the points of the design). Plain compile-time constants: nothing to
// create, nothing to share.
namespace idlewyn {

namespace Spacing {
inline constexpr int hairline = 2;
inline constexpr int xs = 4;
inline constexpr int s = 8;
inline constexpr int m = 12;
inline constexpr int l = 16;
inline constexpr int xl = 24;
} // namespace Spacing

// Corner radii.
namespace Radius {
inline constexpr int small = 8;
inline constexpr int card = 16;
inline constexpr int panel = 24;
} // namespace Radius

// Edge length of a status icon.
namespace StatusIconSize {
inline constexpr int small = 14;
inline constexpr int medium = 20;
inline constexpr int large = 28;
} // namespace StatusIconSize

namespace Layout {
inline constexpr int iconColumn = 28;  // icon column of a session row
inline constexpr int timerColumn = 64; // elapsed-time column
inline constexpr int dashboardCardMinWidth = 220;
inline constexpr int dashboardCardMinHeight = 150;
inline constexpr int progressBarWidth = 32; // bar of TaskProgressView
inline constexpr int outputPanelHeight = 140;
} // namespace Layout

} // namespace idlewyn
