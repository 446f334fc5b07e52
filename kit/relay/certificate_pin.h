#pragma once

#include "relay/http_session.h"

#include <QSslCertificate>
#include <QString>
#include <optional>

namespace idlewyn::CertificatePin {

// Lower-cased, then every character that is not a hexadecimal digit dropped.
QString normalized(QStringView text);

// SHA-256 of the certificate's DER bytes, 64 lower-case hexadecimal digits.
QString fingerprint(const QSslCertificate& certificate);

// The fingerprint of a PEM file: marker lines dropped, the rest joined and
// decoded as strict Base64. Absent on any problem (missing file, invalid
// UTF-8, bad Base64, nothing between the markers).
std::optional<QString> fingerprint(const QString& pemFilePath);
// The same for the file's bytes.
std::optional<QString> pemFingerprint(const QByteArray& pemBytes);

// The process-wide pinned session for a pin in any form `normalized`
// accepts: the same pin always gives the same session object.
HttpSession& session(const QString& pin);

} // namespace idlewyn::CertificatePin
