#include "design/night_filter.h"

#include "design/palette.h"

#include <algorithm>

namespace idlewyn::NightFilter {

QEasingCurve transitionCurve()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
    return curve;
}

QRgb filtered(QRgb pixel, qreal strength)
{
    const int alpha = qAlpha(pixel);
    if (alpha == 0 || strength <= 0) {
        return pixel;
    }
    const qreal a = alpha / 255.0;
    qreal r = std::min(1.0, qRed(pixel) / 255.0 / a);
    qreal g = std::min(1.0, qGreen(pixel) / 255.0 / a);
    qreal b = std::min(1.0, qBlue(pixel) / 255.0 / a);

    // 1. Grayscale: towards the Rec. 709 luminance.
    const qreal luminance = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    r += (luminance - r) * strength;
    g += (luminance - g) * strength;
    b += (luminance - b) * strength;

    // 2. Contrast about mid-grey.
    const qreal contrast = 1.0 + 0.3 * strength;
    const auto stretch = [contrast](qreal value) { return std::clamp((value - 0.5) * contrast + 0.5, 0.0, 1.0); };
    r = stretch(r);
    g = stretch(g);
    b = stretch(b);

    // 3. Multiply by the night red (white when off).
    const QColor& red = Palette::nightRed();
    r *= 1.0 + (red.redF() - 1.0) * strength;
    g *= 1.0 + (red.greenF() - 1.0) * strength;
    b *= 1.0 + (red.blueF() - 1.0) * strength;

    return qRgba(qRound(r * a * 255), qRound(g * a * 255), qRound(b * a * 255), alpha);
}

void filter(QImage& image, qreal strength)
{
    if (strength <= 0 || image.isNull()) {
        return;
    }
    if (image.format() != QImage::Format_ARGB32_Premultiplied) {
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    // Interfaces are mostly flat colour: remember the last pixel's answer.
    QRgb lastIn = 0;
    QRgb lastOut = filtered(0, strength);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] != lastIn) {
                lastIn = line[x];
                lastOut = filtered(lastIn, strength);
            }
            line[x] = lastOut;
        }
    }
}

} // namespace idlewyn::NightFilter
