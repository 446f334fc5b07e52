#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>

namespace idlewyn::testing {

// A self-signed certificate made by openssl in a directory of the test's
// choosing, with the fingerprint openssl itself computes for it, so tests
// compare our hashing against an independent tool.
struct TestCertificate {
    QString certificatePath;
    QString keyPath;
    QSslCertificate certificate;
    QSslKey key;
    QString opensslFingerprint; // sha256 of `openssl x509 -outform der`

    static TestCertificate generate(const QString& directory, const QString& name = QStringLiteral("server"));
};

} // namespace idlewyn::testing
