// The one file that knows zxing-cpp: its 2.x release renamed the types used
// here, and a port to another decoder replaces only this file.
#define ZX_USE_UTF8 1
#include "platform/qr_decoder.h"

#include <ZXing/ReadBarcode.h>

namespace vesperline::QrDecoder {

namespace {

// A QR drawn at one pixel per module (as the pairing window's bitmap is,
// before it is scaled for the screen) is too fine for the detector's
// sampling; a whole-number enlargement keeps the modules sharp.
constexpr int smallestSide = 240;

} // namespace

std::optional<QString> decode(const QImage& image)
{
    if (image.isNull()) {
        return std::nullopt;
    }
    QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    const int side = std::min(gray.width(), gray.height());
    if (side > 0 && side < smallestSide) {
        const int factor = (smallestSide + side - 1) / side;
        gray =
            gray.scaled(gray.width() * factor, gray.height() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    const ZXing::ImageView view(gray.constBits(), gray.width(), gray.height(), ZXing::ImageFormat::Lum,
                                static_cast<int>(gray.bytesPerLine()));
    const auto hints =
        ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::QRCode).setTryHarder(true).setTryRotate(true);
    const ZXing::Result result = ZXing::ReadBarcode(view, hints);
    if (!result.isValid()) {
        return std::nullopt;
    }
    return QString::fromStdString(result.text());
}

} // namespace vesperline::QrDecoder
