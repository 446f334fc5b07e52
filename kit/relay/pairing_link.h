#pragma once

#include <QString>
#include <QUrl>
#include <optional>

namespace idlewyn {

// What a pairing QR code says:
// idlewyn://pair?url=ENCODED-SERVER-URL&code=CODE&pin=PIN
struct PairingLink {
    QUrl serverURL;
    QString code;
    std::optional<QString> certificatePin; // present exactly for https

    bool operator==(const PairingLink&) const = default;

    // Absent for anything that is not an acceptable pairing link; it never
    // says which rule failed.
    static std::optional<PairingLink> fromUrl(const QUrl& url);
};

size_t qHash(const PairingLink& link, size_t seed = 0) noexcept;

} // namespace idlewyn
