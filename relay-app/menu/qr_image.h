#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>

namespace vesperline {

// A standard QR code of the message at error-correction level M, one pixel
// per module (black on white, with a two-module white margin). Absent when
// the message cannot be encoded (too long).
std::optional<QImage> makeQrImage(const QByteArray& message);

} // namespace vesperline
