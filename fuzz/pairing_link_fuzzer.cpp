// Pairing links, as a phone reads them from a QR code or a tapped link.

#include "fuzz_support.h"

#include "relay/pairing_link.h"

#include <QUrl>

using namespace idlewyn;
using namespace vesperline::fuzz;

namespace {

bool isBlank(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

void check(const QUrl& url)
{
    const std::optional<PairingLink> link = PairingLink::fromUrl(url);
    if (!link) {
        return;
    }
    const QString detail = url.toString(QUrl::FullyEncoded);
    const QString scheme = link->serverURL.scheme().toLower();
    require(scheme == u"http" || scheme == u"https", "a link's relay is http or https", detail);
    require(!link->serverURL.host().isEmpty(), "a link's relay has a host", detail);
    require(!link->code.isEmpty() && !isBlank(link->code.front()) && !isBlank(link->code.back()),
            "a link's code is trimmed and not empty", detail);
    require(link->certificatePin.has_value() == (scheme == u"https"), "a link has a pin exactly for https", detail);
    if (link->certificatePin) {
        require(link->certificatePin->size() == 64 && isLowerHex(*link->certificatePin),
                "a link's pin is 64 lower-case hexadecimal digits", detail);
    }

    // The same values written as a link, each value percent-encoded whole,
    // read back as the same link.
    QByteArray text = "idlewyn://pair?url=" + QUrl::toPercentEncoding(link->serverURL.toString(QUrl::FullyEncoded))
        + "&code=" + QUrl::toPercentEncoding(link->code);
    if (link->certificatePin) {
        text += "&pin=" + link->certificatePin->toLatin1();
    }
    const std::optional<PairingLink> again = PairingLink::fromUrl(QUrl(QString::fromLatin1(text), QUrl::StrictMode));
    require(again.has_value(), "a link written from a parsed link parses", QString::fromLatin1(text));
    require(again->serverURL.toString(QUrl::FullyEncoded) == link->serverURL.toString(QUrl::FullyEncoded)
                && again->code == link->code && again->certificatePin == link->certificatePin,
            "a link written from a parsed link reads as the same link", QString::fromLatin1(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(bytesOf(data, size));
    check(QUrl(text, QUrl::TolerantMode));
    check(QUrl(text, QUrl::StrictMode));
    return 0;
}
