#include "relay/pairing_link.h"

#include "relay/certificate_pin.h"

#include <QHashFunctions>
#include <QUrlQuery>

namespace idlewyn {

namespace {

// Blanks are spaces of any kind and tabs; line breaks are not blanks, so a
// code with a line break in it stays as it is (and will simply not match).
bool isBlank(QChar c)
{
    return c == u'\t' || (c.category() == QChar::Separator_Space);
}

QString trimBlanks(const QString& text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isBlank(text[start])) {
        ++start;
    }
    while (end > start && isBlank(text[end - 1])) {
        --end;
    }
    return text.mid(start, end - start);
}

std::optional<QString> firstValue(const QList<QPair<QString, QString>>& items, const QString& name,
                                  const QStringList& rawKeys)
{
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (items[i].first == name) {
            // An item written without "=" has no value at all.
            if (!rawKeys[i].contains(u'=')) {
                return std::nullopt;
            }
            return items[i].second;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<PairingLink> PairingLink::fromUrl(const QUrl& url)
{
    if (url.scheme().toLower() != QStringLiteral("idlewyn") || url.host().toLower() != QStringLiteral("pair")) {
        return std::nullopt;
    }
    if (!url.hasQuery()) {
        return std::nullopt;
    }
    const QString rawQuery = url.query(QUrl::FullyEncoded);
    const QStringList rawItems = rawQuery.split(u'&');
    QList<QPair<QString, QString>> items;
    for (const QString& raw : rawItems) {
        const qsizetype eq = raw.indexOf(u'=');
        const QString name = QUrl::fromPercentEncoding((eq < 0 ? raw : raw.left(eq)).toUtf8());
        const QString value = eq < 0 ? QString() : QUrl::fromPercentEncoding(raw.mid(eq + 1).toUtf8());
        items.append({name, value});
    }

    const auto urlText = firstValue(items, QStringLiteral("url"), rawItems);
    if (!urlText) {
        return std::nullopt;
    }
    const QUrl serverURL(*urlText, QUrl::StrictMode);
    if (!serverURL.isValid() || urlText->isEmpty()) {
        return std::nullopt;
    }
    const QString scheme = serverURL.scheme().toLower();
    if ((scheme != QStringLiteral("http") && scheme != QStringLiteral("https")) || serverURL.host().isEmpty()) {
        return std::nullopt;
    }

    const auto codeText = firstValue(items, QStringLiteral("code"), rawItems);
    if (!codeText) {
        return std::nullopt;
    }
    const QString code = trimBlanks(*codeText);
    if (code.isEmpty()) {
        return std::nullopt;
    }

    std::optional<QString> pin;
    if (const auto pinText = firstValue(items, QStringLiteral("pin"), rawItems)) {
        pin = CertificatePin::normalized(*pinText);
    }
    if (scheme == QStringLiteral("https")) {
        if (!pin || pin->size() != 64) {
            return std::nullopt;
        }
    } else {
        pin.reset();
    }
    return PairingLink{serverURL, code, pin};
}

size_t qHash(const PairingLink& link, size_t seed) noexcept
{
    return qHashMulti(seed, link.serverURL.toString(), link.code, link.certificatePin.value_or(QString()),
                      int(link.certificatePin.has_value()));
}

} // namespace idlewyn
