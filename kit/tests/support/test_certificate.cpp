#include "test_certificate.h"

#include <QFile>
#include <QProcess>
#include <stdexcept>

namespace idlewyn::testing {

namespace {
QByteArray run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        throw std::runtime_error(("command failed: " + program + u' ' + arguments.join(u' ') + u'\n'
                                  + QString::fromUtf8(process.readAllStandardError()))
                                     .toStdString());
    }
    return process.readAllStandardOutput();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("cannot read " + path.toStdString());
    }
    return file.readAll();
}
} // namespace

TestCertificate TestCertificate::generate(const QString& directory, const QString& name)
{
    TestCertificate result;
    result.certificatePath = directory + u'/' + name + QStringLiteral(".pem");
    result.keyPath = directory + u'/' + name + QStringLiteral("-key.pem");
    run(QStringLiteral("openssl"),
        {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
         QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
         QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"), QStringLiteral("/CN=localhost"),
         QStringLiteral("-keyout"), result.keyPath, QStringLiteral("-out"), result.certificatePath});
    const QByteArray sum =
        run(QStringLiteral("sh"),
            {QStringLiteral("-c"),
             QStringLiteral("openssl x509 -outform der -in '%1' | sha256sum").arg(result.certificatePath)});
    result.opensslFingerprint = QString::fromLatin1(sum.left(64));
    result.certificate = QSslCertificate(readFile(result.certificatePath), QSsl::Pem);
    result.key = QSslKey(readFile(result.keyPath), QSsl::Ec, QSsl::Pem);
    if (result.certificate.isNull() || result.key.isNull()) {
        throw std::runtime_error("openssl made a certificate Qt cannot read");
    }
    return result;
}

} // namespace idlewyn::testing
