#include "qr_image.h"

#include <qrcodegen/qrcodegen.hpp>

#include <stdexcept>
#include <vector>

namespace vesperline {

std::optional<QImage> makeQrImage(const QByteArray& message)
{
    constexpr int margin = 2;
    try {
        const std::vector<std::uint8_t> bytes(message.begin(), message.end());
        const auto code = qrcodegen::QrCode::encodeBinary(bytes, qrcodegen::QrCode::Ecc::MEDIUM);
        const int size = code.getSize();
        QImage image(size + 2 * margin, size + 2 * margin, QImage::Format_Grayscale8);
        image.fill(Qt::white);
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                if (code.getModule(x, y)) {
                    image.setPixel(x + margin, y + margin, qRgb(0, 0, 0));
                }
            }
        }
        return image;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace vesperline
