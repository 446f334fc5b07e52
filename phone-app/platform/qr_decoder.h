#pragma once

#include <QImage>
#include <QString>
#include <optional>

namespace vesperline {

// Reads a QR code from a picture: a screenshot, a photo, a camera frame.
namespace QrDecoder {

// The text of the QR code found in the image, turned or not, anywhere in it;
// absent when there is none that reads.
std::optional<QString> decode(const QImage& image);

} // namespace QrDecoder
} // namespace vesperline
