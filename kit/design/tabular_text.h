#pragma once

#include <QFont>
#include <QString>
#include <Qt>

class QPainter;
class QRectF;

namespace idlewyn {

// Text whose digits all take the width of the widest digit, so a number that
// changes while shown ("1:09" → "1:10") does not shift its neighbours. Qt 6.4
// cannot ask a font for its tabular figures, so the digits are set in equal
// cells; everything between digits is drawn as one run, shaped as usual.
// Right-to-left text is drawn unchanged.
namespace TabularText {

// Width of the text in `font` with tabular digits.
qreal width(const QFont& font, const QString& text);

// Draws one line of text inside rect with the painter's font and pen.
void draw(QPainter& painter, const QRectF& rect, Qt::Alignment alignment, const QString& text);

} // namespace TabularText

} // namespace idlewyn
