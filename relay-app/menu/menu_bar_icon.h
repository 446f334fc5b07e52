#pragma once

#include "supervisor/relay_monitor.h"

#include <QColor>
#include <QIcon>

namespace vesperline {

// The tray icon for an icon state. Down and idle are "template" icons: one
// colour, the tray's own foreground (`templateColor`), with the plain moon
// telling a relay that is down from an idle one. Working and waiting keep the
// status tint of that state, resolved for the tray's appearance (`tray`, the
// palette the icon is drawn against). Every glyph has a faint one-pixel halo
// in the contrasting colour, because a tray does not say what it is drawn on.
QIcon makeIcon(IconState state, const QColor& templateColor, const QPalette& tray);

// The symbol each state draws: "moon" or "moon.stars.fill".
QString iconSymbolName(IconState state);
// Whether the state draws in the tray's own foreground colour.
bool isTemplateIcon(IconState state);

} // namespace vesperline
