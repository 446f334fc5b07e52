#pragma once

#include <QFont>
#include <QString>
#include <optional>

namespace idlewyn {

// The type styles of the design system as QFonts.
//
// Sizes follow the desktop: body text is the application's base font
// (QGuiApplication::font()) and every other text style keeps its ratio to a
// 13 pt body (large title 26, title 3 15, headline 13 semibold, callout 12,
// subheadline 11, caption 10, caption 2 10). display (88) and bigCount (44)
// are fixed sizes that do not follow the desktop.
//
// Design: "rounded" uses an installed rounded family (see roundedFamily()) and
// falls back to the base family; "monospaced" uses the desktop's fixed-pitch
// family.
//
// Monospaced digits: where Qt can switch on the font's tabular-figures
// feature ('tnum', Qt 6.7 and later) the tokens marked with them carry it.
// Qt 6.4 cannot, so the components that show changing numbers (ElapsedLabel,
// TaskProgressView) lay digits out in equal cells themselves (TabularText);
// use TabularText for any other live number.
//
// Each token is built once, on first use, from the base font current then.
//
//     titleLabel->setFont(Typography::rowTitleCompact());
namespace Typography {

enum class TextStyle { largeTitle, title3, headline, body, callout, subheadline, caption, caption2 };
enum class Design { standard, rounded, monospaced };

// Point size of a text style when body text is bodyPointSize.
qreal pointSize(TextStyle style, qreal bodyPointSize);
// Weight a text style has unless a token says otherwise (headline: semibold).
QFont::Weight defaultWeight(TextStyle style);

// A rounded family that is installed, or an empty string.
QString roundedFamily();
// The desktop's fixed-pitch family.
QString monospacedFamily();
// Whether fonts can carry the tabular-figures feature in this Qt.
bool fontFeaturesSupported();

// The building blocks of the tokens, for styles the tokens do not name (the
// compact activity line's caption-2 monospaced font, for example). A missing
// weight means the style's own.
QFont font(TextStyle style, std::optional<QFont::Weight> weight, Design design, bool monospacedDigits,
           const QFont& base);
QFont font(TextStyle style, std::optional<QFont::Weight> weight = std::nullopt, Design design = Design::standard,
           bool monospacedDigits = false);
QFont fixedSizeFont(qreal pointSize, QFont::Weight weight, Design design, bool monospacedDigits, const QFont& base);

const QFont& display();         // 88, thin, rounded, monospaced digits
const QFont& bigCount();        // 44, bold, rounded, monospaced digits
const QFont& count();           // large title, bold, rounded, monospaced digits
const QFont& countLabel();      // title 3, semibold, rounded
const QFont& title();           // title 3, semibold, rounded
const QFont& screenTitle();     // title 3, bold, rounded
const QFont& headline();        // headline, rounded
const QFont& heroGlyph();       // large title
const QFont& body();            // body
const QFont& rowTitle();        // body, medium
const QFont& rowTitleCompact(); // subheadline, medium
const QFont& supporting();      // callout
const QFont& meta();            // caption
const QFont& metaStrong();      // caption, semibold
const QFont& metaSmall();       // caption 2
const QFont& metaSmallStrong(); // caption 2, semibold
const QFont& mono();            // caption, monospaced
const QFont& monoBody();        // body, monospaced
const QFont& number();          // caption, semibold, monospaced digits
const QFont& numberSmall();     // caption 2, semibold, monospaced digits
const QFont& numberLarge();     // headline, rounded, monospaced digits

} // namespace Typography

} // namespace idlewyn
