#include "relay/certificate_pin.h"
#include "relay/http_session.h"

#include "support/outcome.h"
#include "support/scripted_server.h"
#include "support/test_certificate.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTemporaryDir>

using namespace idlewyn;
using idlewyn::testing::outcomeOf;
using idlewyn::testing::ScriptedServer;
using idlewyn::testing::TestCertificate;

TEST(HttpSessionTest, RedirectsAreReturnedNotFollowed)
{
    ScriptedServer server;
    server.respondRaw("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/elsewhere\r\nContent-Length: 0\r\n"
                      "Connection: close\r\n\r\n");
    HttpRequest request;
    request.url = server.baseUrl();
    const auto outcome = outcomeOf(HttpSession::shared().send(request));
    ASSERT_TRUE(outcome.succeeded()) << outcome.describe();
    EXPECT_EQ(outcome.value->status, 302);
    EXPECT_EQ(server.requests().size(), 1);
}

TEST(HttpSessionTest, ATimeoutIsATimeoutNotACancellation)
{
    QTcpServer silent; // accepts and never answers
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    HttpRequest request;
    request.url = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(silent.serverPort()));
    request.timeout = std::chrono::milliseconds(300);
    const auto timedOut = outcomeOf(HttpSession::shared().send(request));
    ASSERT_TRUE(timedOut.errorAs<TransportError>()) << timedOut.describe();
    EXPECT_EQ(timedOut.errorAs<TransportError>()->code(), QNetworkReply::TimeoutError);
}

TEST(CertificatePinTest, PemFileFingerprintMatchesOpensslAndAnyProblemGivesNone)
{
    QTemporaryDir dir;
    const TestCertificate certificate = TestCertificate::generate(dir.path());
    // openssl wraps the Base64 body at 64 columns.
    EXPECT_EQ(CertificatePin::fingerprint(certificate.certificatePath), certificate.opensslFingerprint);

    const QString path = dir.filePath(QStringLiteral("bad.pem"));
    const std::pair<const char*, QByteArray> bad[] = {
        {"bad Base64", "-----BEGIN CERTIFICATE-----\nnot*base64!\n-----END CERTIFICATE-----\n"},
        // A pin of nothing would refuse every connection for no visible reason.
        {"nothing between the markers", "-----BEGIN CERTIFICATE-----\n-----END CERTIFICATE-----\n"},
        {"invalid UTF-8",
         "\xff\xfe"
         "bad"},
    };
    for (const auto& [what, bytes] : bad) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        EXPECT_FALSE(CertificatePin::fingerprint(path).has_value()) << what;
    }
    QFile::remove(path);
    EXPECT_FALSE(CertificatePin::fingerprint(path).has_value()) << "a missing file";
}
