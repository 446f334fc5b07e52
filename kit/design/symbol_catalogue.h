#pragma once

#include <QBrush>
#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QStringList>

class QPainter;
class QRectF;

namespace idlewyn {

// Stroke weight of a glyph; heavier weights thicken the strokes, as a
// symbol drawn in a heavier font would.
enum class SymbolWeight { regular, medium, semibold, bold };

// Our own glyphs for the symbol names the applications use ("moon.stars.fill",
// "hand.raised.fill", "qrcode", …): SVGs on a 24-unit grid, embedded in the
// library, drawn with QtSvg in any single colour (or brush) and size. They are
// drawn to read at 14 px as well as at 28 px.
//
// A glyph is a shape, not a picture: its black parts are ink, its white parts
// are cut out of the ink, and the whole is filled with the colour asked for.
//
// A name the catalogue does not know gives an empty result (a null image,
// pixmap or icon), never a failure, so a typo shows as a missing icon.
//
//     row->setIcon(SymbolCatalogue::icon("power", palette().color(QPalette::WindowText)));
//     tray->setIcon(SymbolCatalogue::icon("moon.stars.fill", tint(SessionStatus::working).resolved(panel)));
//     tray->setIcon(SymbolCatalogue::templateIcon("moon"));   // monochrome "template" look
//
// Main (GUI) thread only.
namespace SymbolCatalogue {

// Every known name, sorted.
QStringList names();
bool contains(const QString& name);

// The glyph as a square image pixelSize device pixels wide (premultiplied
// ARGB), filled with `fill`. Null for an unknown name or a size below 1.
QImage image(const QString& name, int pixelSize, const QBrush& fill, SymbolWeight weight = SymbolWeight::regular);

// The glyph as a square pixmap of `logicalSize` at the given device pixel ratio.
QPixmap pixmap(const QString& name, int logicalSize, const QBrush& fill, qreal devicePixelRatio = 1.0,
               SymbolWeight weight = SymbolWeight::regular);

// Draws the glyph into `rect` (its largest centred square), at the painter's
// device resolution.
void paint(QPainter& painter, const QRectF& rect, const QString& name, const QBrush& fill,
           SymbolWeight weight = SymbolWeight::regular);

// An icon that draws the glyph at whatever size and pixel ratio it is asked
// for, in `color`; QIcon::Disabled draws it at Palette::disabledOpacity.
QIcon icon(const QString& name, const QColor& color, SymbolWeight weight = SymbolWeight::regular);

// The glyph in black, marked as a mask: a platform that knows template
// images (the macOS menu bar) recolours it to match the bar. Elsewhere,
// prefer icon(name, the bar's text colour).
QIcon templateIcon(const QString& name, SymbolWeight weight = SymbolWeight::regular);

} // namespace SymbolCatalogue

} // namespace idlewyn
