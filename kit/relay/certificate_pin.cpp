#include "relay/certificate_pin.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QStringDecoder>

namespace idlewyn::CertificatePin {

QString normalized(QStringView text)
{
    QString result;
    result.reserve(text.size());
    for (QChar c : text) {
        const QChar lower = c.toLower();
        if ((lower >= u'0' && lower <= u'9') || (lower >= u'a' && lower <= u'f')) {
            result.append(lower);
        }
    }
    return result;
}

QString fingerprint(const QSslCertificate& certificate)
{
    return QString::fromLatin1(QCryptographicHash::hash(certificate.toDer(), QCryptographicHash::Sha256).toHex());
}

std::optional<QString> fingerprint(const QString& pemFilePath)
{
    QFile file(pemFilePath);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return pemFingerprint(file.readAll());
}

std::optional<QString> pemFingerprint(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }

    QByteArray base64;
    for (QStringView line : QStringView(text).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u"-----")) {
            continue;
        }
        base64 += line.toLatin1();
        if (line.toString() != QString::fromLatin1(line.toLatin1())) {
            return std::nullopt; // not representable: certainly not Base64
        }
    }
    const auto decoded = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (decoded.decodingStatus != QByteArray::Base64DecodingStatus::Ok || decoded.decoded.isEmpty()) {
        return std::nullopt;
    }
    return QString::fromLatin1(QCryptographicHash::hash(decoded.decoded, QCryptographicHash::Sha256).toHex());
}

HttpSession& session(const QString& pin)
{
    // Sessions live for the process: never destroyed, not even at exit, when
    // the application object they depend on is already gone.
    static QMutex lock;
    static auto* sessions = new QHash<QString, HttpSession*>;
    const QString key = normalized(pin);
    QMutexLocker locker(&lock);
    auto it = sessions->find(key);
    if (it == sessions->end()) {
        it = sessions->insert(key, new HttpSession(key));
    }
    return **it;
}

} // namespace idlewyn::CertificatePin
