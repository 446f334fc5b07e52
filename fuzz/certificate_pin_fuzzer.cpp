// Pins as they arrive from links, stored connections and callers, and the
// relay's certificate file as the application reads it.

#include "fuzz_support.h"

#include "relay/certificate_pin.h"

#include <QCryptographicHash>

#include <cstring>

using namespace idlewyn;
using namespace vesperline::fuzz;

namespace {

void checkNormalized(const QString& text)
{
    const QString pin = CertificatePin::normalized(text);
    require(isLowerHex(pin), "a normalized pin holds only 0-9 and a-f", text);
    require(pin.size() <= text.size(), "normalizing never adds characters", text);
    require(CertificatePin::normalized(pin) == pin, "a normalized pin stays as it is", text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = bytesOf(data, size);
    checkNormalized(QString::fromUtf8(bytes));
    QString utf16(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    std::memcpy(utf16.data(), data, (size / 2) * 2); // any UTF-16, lone surrogates included
    checkNormalized(utf16);

    if (const std::optional<QString> pin = CertificatePin::pemFingerprint(bytes)) {
        require(pin->size() == 64 && isLowerHex(*pin), "a PEM fingerprint is 64 lower-case hexadecimal digits");
    }

    // The input as a certificate's DER bytes in a PEM file, Base64 in lines
    // of 64: the file's fingerprint is the SHA-256 of those bytes.
    if (!bytes.isEmpty()) {
        const QByteArray base64 = bytes.toBase64();
        QByteArray pem = "-----BEGIN CERTIFICATE-----\n";
        for (qsizetype at = 0; at < base64.size(); at += 64) {
            pem += base64.mid(at, 64) + '\n';
        }
        pem += "-----END CERTIFICATE-----\n";
        const QString expected =
            QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        require(CertificatePin::pemFingerprint(pem) == expected, "a PEM file's fingerprint hashes its DER bytes",
                QString::fromLatin1(pem));
    }
    return 0;
}
