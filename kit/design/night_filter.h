#pragma once

#include <QEasingCurve>
#include <QImage>
#include <QRgb>

namespace idlewyn {

// The night filter as pixels, for every front end: at strength 1 a pixel
// becomes its Rec. 709 luminance, contrast 1.3 about mid-grey, multiplied by
// Palette::nightRed; strength 0 leaves it as it is, and in between every
// parameter moves linearly with strength. A change of night mode moves
// strength (and the opacity of what hides at night) over 1.2 s, ease-in-out.
namespace NightFilter {

inline constexpr int transitionDuration = 1200; // ms
// Ease-in-out: the cubic Bézier (0.42, 0) (0.58, 1).
QEasingCurve transitionCurve();

// One premultiplied ARGB pixel, and a whole image (converted to
// premultiplied ARGB32 if needed).
QRgb filtered(QRgb premultiplied, qreal strength);
void filter(QImage& image, qreal strength);

} // namespace NightFilter

} // namespace idlewyn
