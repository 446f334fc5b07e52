#pragma once

#include <QFont>
#include <QString>

namespace vesperline {

// `text` wrapped into at most `maxLines` lines of `width` pixels, the last
// line cut with an ellipsis when the text goes on.
QString elideToLines(const QString& text, const QFont& font, int width, int maxLines);

} // namespace vesperline
