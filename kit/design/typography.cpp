#include "design/typography.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QStringList>

namespace idlewyn::Typography {

namespace {

// The desktop's body text size in points. A base font given in pixels only
// is converted at the conventional 96 dpi so the ratios still hold.
qreal basePointSize(const QFont& base)
{
    if (base.pointSizeF() > 0) {
        return base.pointSizeF();
    }
    if (base.pixelSize() > 0) {
        return base.pixelSize() * 72.0 / 96.0;
    }
    return 13.0;
}

QFont styled(QFont font, qreal points, QFont::Weight weight, Design design, bool monospacedDigits)
{
    font.setPointSizeF(points);
    font.setWeight(weight);
    switch (design) {
    case Design::standard:
        break;
    case Design::rounded:
        if (const QString rounded = roundedFamily(); !rounded.isEmpty()) {
            // The base family stays behind it for characters the rounded one lacks.
            font.setFamilies({rounded, font.family()});
        }
        break;
    case Design::monospaced:
        font.setFamilies({monospacedFamily()});
        font.setStyleHint(QFont::Monospace);
        font.setFixedPitch(true);
        break;
    }
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    if (monospacedDigits) {
        font.setFeature(QFont::Tag("tnum"), 1);
    }
#else
    Q_UNUSED(monospacedDigits)
#endif
    return font;
}

QFont token(TextStyle style, std::optional<QFont::Weight> weight, Design design, bool monospacedDigits = false)
{
    return font(style, weight, design, monospacedDigits, QGuiApplication::font());
}

} // namespace

qreal pointSize(TextStyle style, qreal bodyPointSize)
{
    qreal macSize = 13;
    switch (style) {
    case TextStyle::largeTitle:
        macSize = 26;
        break;
    case TextStyle::title3:
        macSize = 15;
        break;
    case TextStyle::headline:
    case TextStyle::body:
        macSize = 13;
        break;
    case TextStyle::callout:
        macSize = 12;
        break;
    case TextStyle::subheadline:
        macSize = 11;
        break;
    case TextStyle::caption:
    case TextStyle::caption2:
        macSize = 10;
        break;
    }
    return bodyPointSize * macSize / 13.0;
}

QFont::Weight defaultWeight(TextStyle style)
{
    return style == TextStyle::headline ? QFont::DemiBold : QFont::Normal;
}

QString roundedFamily()
{
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        // The desktop's own family in a rounded cut first, then well-known rounded faces.
        QStringList candidates{QGuiApplication::font().family() + QStringLiteral(" Rounded")};
        candidates << QStringLiteral("SF Pro Rounded") << QStringLiteral("Nunito") << QStringLiteral("Varela Round")
                   << QStringLiteral("M PLUS Rounded 1c") << QStringLiteral("Rounded Mplus 1c")
                   << QStringLiteral("Quicksand");
        for (const QString& candidate : candidates) {
            if (installed.contains(candidate, Qt::CaseInsensitive)) {
                return candidate;
            }
        }
        return QString();
    }();
    return family;
}

QString monospacedFamily()
{
    static const QString family = [] {
        // Font databases do not always flag a monospaced face as fixed pitch
        // (Noto Sans Mono is not), so the glyph widths decide.
        const auto monospaced = [](const QFont& font) {
            const QFontMetricsF metrics(font);
            return qFuzzyCompare(metrics.horizontalAdvance(QLatin1Char('i')),
                                 metrics.horizontalAdvance(QLatin1Char('W')));
        };
        QList<QFont> candidates{QFontDatabase::systemFont(QFontDatabase::FixedFont)};
        for (const char* name : {"monospace", "DejaVu Sans Mono", "Noto Sans Mono", "Liberation Mono", "Menlo",
                                 "SF Mono", "Consolas", "Courier New"}) {
            candidates << QFont(QString::fromLatin1(name));
        }
        for (const QFont& candidate : candidates) {
            if (monospaced(candidate)) {
                return QFontInfo(candidate).family();
            }
        }
        return QFontInfo(candidates.first()).family();
    }();
    return family;
}

bool fontFeaturesSupported()
{
    return QT_VERSION >= QT_VERSION_CHECK(6, 7, 0);
}

QFont font(TextStyle style, std::optional<QFont::Weight> weight, Design design, bool monospacedDigits,
           const QFont& base)
{
    return styled(base, pointSize(style, basePointSize(base)), weight.value_or(defaultWeight(style)), design,
                  monospacedDigits);
}

QFont font(TextStyle style, std::optional<QFont::Weight> weight, Design design, bool monospacedDigits)
{
    return token(style, weight, design, monospacedDigits);
}

QFont fixedSizeFont(qreal points, QFont::Weight weight, Design design, bool monospacedDigits, const QFont& base)
{
    return styled(base, points, weight, design, monospacedDigits);
}

// Thin is the second-lightest weight of the design's type scale (200).
const QFont& display()
{
    static const QFont f = fixedSizeFont(88, QFont::ExtraLight, Design::rounded, true, QGuiApplication::font());
    return f;
}

const QFont& bigCount()
{
    static const QFont f = fixedSizeFont(44, QFont::Bold, Design::rounded, true, QGuiApplication::font());
    return f;
}

const QFont& count()
{
    static const QFont f = token(TextStyle::largeTitle, QFont::Bold, Design::rounded, true);
    return f;
}

const QFont& countLabel()
{
    return title();
}

const QFont& title()
{
    static const QFont f = token(TextStyle::title3, QFont::DemiBold, Design::rounded);
    return f;
}

const QFont& screenTitle()
{
    static const QFont f = token(TextStyle::title3, QFont::Bold, Design::rounded);
    return f;
}

const QFont& headline()
{
    static const QFont f = token(TextStyle::headline, std::nullopt, Design::rounded);
    return f;
}

const QFont& heroGlyph()
{
    static const QFont f = token(TextStyle::largeTitle, std::nullopt, Design::standard);
    return f;
}

const QFont& body()
{
    static const QFont f = token(TextStyle::body, std::nullopt, Design::standard);
    return f;
}

const QFont& rowTitle()
{
    static const QFont f = token(TextStyle::body, QFont::Medium, Design::standard);
    return f;
}

const QFont& rowTitleCompact()
{
    static const QFont f = token(TextStyle::subheadline, QFont::Medium, Design::standard);
    return f;
}

const QFont& supporting()
{
    static const QFont f = token(TextStyle::callout, std::nullopt, Design::standard);
    return f;
}

const QFont& meta()
{
    static const QFont f = token(TextStyle::caption, std::nullopt, Design::standard);
    return f;
}

const QFont& metaStrong()
{
    static const QFont f = token(TextStyle::caption, QFont::DemiBold, Design::standard);
    return f;
}

const QFont& metaSmall()
{
    static const QFont f = token(TextStyle::caption2, std::nullopt, Design::standard);
    return f;
}

const QFont& metaSmallStrong()
{
    static const QFont f = token(TextStyle::caption2, QFont::DemiBold, Design::standard);
    return f;
}

const QFont& mono()
{
    static const QFont f = token(TextStyle::caption, std::nullopt, Design::monospaced);
    return f;
}

const QFont& monoBody()
{
    static const QFont f = token(TextStyle::body, std::nullopt, Design::monospaced);
    return f;
}

const QFont& number()
{
    static const QFont f = token(TextStyle::caption, QFont::DemiBold, Design::standard, true);
    return f;
}

const QFont& numberSmall()
{
    static const QFont f = token(TextStyle::caption2, QFont::DemiBold, Design::standard, true);
    return f;
}

const QFont& numberLarge()
{
    static const QFont f = token(TextStyle::headline, std::nullopt, Design::rounded, true);
    return f;
}

} // namespace idlewyn::Typography
