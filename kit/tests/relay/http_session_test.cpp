#include "relay/certificate_pin.h"
#include "relay/http_session.h"

#include "support/scripted_server.h"
#include "support/test_certificate.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTemporaryDir>

#include <qcoro/qcorotask.h>

using namespace idlewyn;
using idlewyn::testing::ScriptedServer;
using idlewyn::testing::TestCertificate;

namespace {

struct Outcome {
    std::optional<HttpResponse> response;
    std::optional<TransportError> error;
};

Outcome send(HttpSession& session, HttpRequest request)
{
    Outcome outcome;
    QCoro::waitFor([&]() -> QCoro::Task<> {
        try {
            outcome.response = co_await session.send(std::move(request));
        } catch (const TransportError& error) {
            outcome.error = error;
        }
    }());
    return outcome;
}

HttpRequest get(const QUrl& url)
{
    HttpRequest request;
    request.url = url;
    request.timeout = std::chrono::seconds(10);
    return request;
}

class TlsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    TestCertificate first = TestCertificate::generate(dir.path(), QStringLiteral("first"));
};

} // namespace

TEST(HttpSessionTest, SendsMethodHeadersAndBodyAndReturnsAnyStatus)
{
    ScriptedServer server;
    server.respond(404, "{\"missing\":true}");
    HttpRequest request = get(server.baseUrl().resolved(QUrl(QStringLiteral("/v1/thing?x=1"))));
    request.method = "POST";
    request.headers = {{"X-First", "1"}, {"Content-Type", "application/json"}};
    request.body = QByteArray("{\"a\":2}");

    const Outcome outcome = send(HttpSession::shared(), request);
    ASSERT_TRUE(outcome.response) << (outcome.error ? outcome.error->what() : "");
    EXPECT_EQ(outcome.response->status, 404) << "an HTTP error status is an answer, not a transport failure";
    EXPECT_EQ(outcome.response->body, QByteArray("{\"missing\":true}"));
    EXPECT_EQ(outcome.response->header("content-type"), QByteArray("application/json"));

    ASSERT_EQ(server.requests().size(), 1);
    const auto& seen = server.requests().first();
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.path, "/v1/thing");
    EXPECT_EQ(seen.query, "x=1");
    EXPECT_EQ(seen.body, "{\"a\":2}");
    EXPECT_EQ(seen.header("X-First"), QByteArray("1"));
    EXPECT_FALSE(seen.header("Cookie").has_value());
}

TEST(HttpSessionTest, RedirectsAreReturnedNotFollowed)
{
    ScriptedServer server;
    server.respondRaw("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/elsewhere\r\nContent-Length: 0\r\n"
                      "Connection: close\r\n\r\n");
    const Outcome outcome = send(HttpSession::shared(), get(server.baseUrl()));
    ASSERT_TRUE(outcome.response);
    EXPECT_EQ(outcome.response->status, 302);
    EXPECT_EQ(server.requests().size(), 1);
}

TEST(HttpSessionTest, ATimeoutIsATimeoutNotACancellation)
{
    QTcpServer silent; // accepts and never answers
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    HttpRequest request = get(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(silent.serverPort())));
    request.timeout = std::chrono::milliseconds(300);
    const Outcome timedOut = send(HttpSession::shared(), request);
    ASSERT_TRUE(timedOut.error);
    EXPECT_EQ(timedOut.error->code(), QNetworkReply::TimeoutError);
}

TEST_F(TlsTest, PinnedSessionAcceptsItsLeafInAnyWrittenForm)
{
    ScriptedServer server(first);
    const Outcome plain = send(CertificatePin::session(first.opensslFingerprint), get(server.baseUrl()));
    ASSERT_TRUE(plain.response) << (plain.error ? plain.error->what() : "");
    EXPECT_EQ(plain.response->status, 200);

    QString colons;
    for (int i = 0; i < 64; i += 2) {
        colons += (i ? QStringLiteral(":") : QString()) + first.opensslFingerprint.mid(i, 2).toUpper();
    }
    HttpSession& upper = CertificatePin::session(colons);
    EXPECT_EQ(&upper, &CertificatePin::session(first.opensslFingerprint)) << "one session per pin, whatever its form";
    const Outcome again = send(upper, get(server.baseUrl()));
    ASSERT_TRUE(again.response);
    EXPECT_EQ(again.response->status, 200);
}

TEST_F(TlsTest, FirstUseAcceptsAnyLeafAndRecordsItsFingerprint)
{
    ScriptedServer server(first);
    auto session = HttpSession::trustOnFirstUse();
    EXPECT_FALSE(session->seen().has_value());
    const Outcome outcome = send(*session, get(server.baseUrl()));
    ASSERT_TRUE(outcome.response) << (outcome.error ? outcome.error->what() : "");
    EXPECT_EQ(session->seen(), first.opensslFingerprint);
    EXPECT_EQ(CertificatePin::fingerprint(first.certificate), first.opensslFingerprint);
}

TEST(CertificatePinTest, NormalizedKeepsOnlyHexDigitsInLowerCase)
{
    EXPECT_EQ(CertificatePin::normalized(u"AB:CD:EF"), QStringLiteral("abcdef"));
    EXPECT_EQ(CertificatePin::normalized(u"sha256/AB cd"), QStringLiteral("a256abcd"));
    EXPECT_EQ(CertificatePin::normalized(u"\n-- zz --\t"), QString());
}

TEST_F(TlsTest, PemFileFingerprintMatchesTheCertificateAndRejectsGarbage)
{
    // openssl wraps the Base64 body at 64 columns.
    EXPECT_EQ(CertificatePin::fingerprint(first.certificatePath), first.opensslFingerprint);

    const auto write = [this](const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    EXPECT_FALSE(
        CertificatePin::fingerprint(write(QStringLiteral("garbage.pem"),
                                          "-----BEGIN CERTIFICATE-----\nnot*base64!\n-----END CERTIFICATE-----\n"))
            .has_value());
    EXPECT_FALSE(CertificatePin::fingerprint(
                     write(QStringLiteral("empty.pem"), "-----BEGIN CERTIFICATE-----\n-----END CERTIFICATE-----\n"))
                     .has_value())
        << "a pin of nothing would refuse every connection for no visible reason";
    EXPECT_FALSE(CertificatePin::fingerprint(write(QStringLiteral("latin1.pem"),
                                                   QByteArray("\xff\xfe"
                                                              "bad")))
                     .has_value());
    EXPECT_FALSE(CertificatePin::fingerprint(dir.filePath(QStringLiteral("missing.pem"))).has_value());
}
