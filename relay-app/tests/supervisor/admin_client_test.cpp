#include "supervisor/admin_client.h"
#include "supervisor/relay_installer.h"

#include "relay/certificate_pin.h"
#include "relay/http_session.h"
#include "support/scripted_server.h"
#include "support/test_certificate.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>

#include "supervisor_test_support.h"

using namespace vesperline;
using namespace vesperline::fixtures;
using idlewyn::DecodingError;
using idlewyn::TransportError;
using idlewyn::testing::ScriptedServer;
using idlewyn::testing::TestCertificate;

namespace {

Status sampleStatus()
{
    idlewyn::AgentSession session;
    session.id = QStringLiteral("s1");
    session.title = QStringLiteral("Fix the build");
    session.status = idlewyn::SessionStatus::working;
    session.startedAt = QDateTime::fromMSecsSinceEpoch(1767225600000, Qt::UTC);
    session.updatedAt = QDateTime::fromMSecsSinceEpoch(1767225660123, Qt::UTC);
    Status status;
    status.version = QStringLiteral("1.0.0");
    status.sessions = {session};
    status.remoteApprovals = true;
    status.pushConfigured = false;
    status.pairingLink = QStringLiteral("idlewyn://pair?url=http%3A%2F%2F127.0.0.1%3A8787&code=ABCD1234");
    status.pairingCode = QStringLiteral("ABCD1234");
    status.tlsFingerprint = QStringLiteral("ab12");
    status.tokens = {PairedToken{QStringLiteral("t1"), QStringLiteral("claude"),
                                 QStringLiteral("2026-01-01T00:00:00.000Z"), std::nullopt}};
    return status;
}

QByteArray statusJson(const std::function<void(QJsonObject&)>& change = {})
{
    QJsonObject object = idlewyn::json::relay.encodeValue(sampleStatus()).toObject();
    if (change) {
        change(object);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

qsizetype headerIndex(const ScriptedServer::Request& request, const QByteArray& name)
{
    for (qsizetype i = 0; i < request.headers.size(); ++i) {
        if (request.headers[i].first.compare(name, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

class AdminClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = freshHome();
        support = home + QStringLiteral("/.idlewyn-relay");
    }

    void pointAt(const QString& url) { writeFile(support + QStringLiteral("/relay-url"), url.toUtf8()); }
    AdminClient client() const { return AdminClient(support); }

    QString home;
    QString support;
};

} // namespace

TEST_F(AdminClientTest, AsksTheAdminPathWithTheTrimmedSecretAndJsonHeadersInOrder)
{
    ScriptedServer server;
    server.respond(200, statusJson([](QJsonObject& o) { o.insert(QStringLiteral("somethingNew"), 1); }));
    pointAt(QStringLiteral("  ") + server.baseUrl().toString() + QStringLiteral("/relay\n"));
    writeFile(support + QStringLiteral("/hook-secret"), "s3cret\n");

    const auto status = outcomeOf(client().fetchStatus());
    ASSERT_TRUE(status.succeeded()) << status.errorText().toStdString();
    EXPECT_EQ(*status.value, sampleStatus());

    ASSERT_EQ(server.requests().size(), 1);
    const ScriptedServer::Request& request = server.requests().first();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path, "/relay/v1/admin/status");
    EXPECT_EQ(request.header("X-Idlewyn-Secret"), QByteArray("s3cret"));
    EXPECT_EQ(request.header("Content-Type"), QByteArray("application/json"));
    EXPECT_LT(headerIndex(request, "X-Idlewyn-Secret"), headerIndex(request, "Content-Type"));
}

TEST_F(AdminClientTest, WithoutASecretFileTheHeaderIsSentEmpty)
{
    ScriptedServer server;
    server.respond(200, statusJson());
    pointAt(server.baseUrl().toString());

    ASSERT_TRUE(outcomeOf(client().fetchStatus()).succeeded());
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().first().header("X-Idlewyn-Secret"), QByteArray(""));
}

TEST_F(AdminClientTest, TheBaseUrlFallsBackToTheDefaultPort)
{
    EXPECT_EQ(client().baseUrl(), QUrl(QStringLiteral("http://127.0.0.1:8787")));
    pointAt(QStringLiteral("\n"));
    EXPECT_EQ(client().baseUrl(), QUrl(QStringLiteral("http://127.0.0.1:8787")));
    pointAt(QStringLiteral("http://127.0.0.1:80 80/"));
    EXPECT_EQ(client().baseUrl(), QUrl(QStringLiteral("http://127.0.0.1:8787")));
    pointAt(QStringLiteral("https://127.0.0.1:9443\r\n"));
    EXPECT_EQ(client().baseUrl(), QUrl(QStringLiteral("https://127.0.0.1:9443")));
}

TEST_F(AdminClientTest, SettingsAndRevokeSendTheirBodiesAndDecodeTheReplies)
{
    ScriptedServer server;
    server.setResponder([](const ScriptedServer::Request& request) {
        if (request.path == "/v1/admin/settings") {
            return ScriptedServer::httpResponse(200, "{\"remoteApprovals\":false}");
        }
        return ScriptedServer::httpResponse(200, "{\"revoked\":2}");
    });
    pointAt(server.baseUrl().toString());

    const auto body = outcomeOf(client().setRemoteApprovals(true));
    ASSERT_TRUE(body.succeeded()) << body.errorText().toStdString();
    EXPECT_EQ(*body.value, AdminClient::Body{false}); // the relay's word, not ours
    const auto revoked = outcomeOf(client().revoke(QStringLiteral("t\"1")));
    ASSERT_TRUE(revoked.succeeded()) << revoked.errorText().toStdString();
    EXPECT_EQ(revoked.value->revoked, 2);

    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests()[0].method, "POST");
    EXPECT_EQ(QJsonDocument::fromJson(server.requests()[0].body).object(),
              QJsonObject({{QStringLiteral("remoteApprovals"), true}}));
    EXPECT_EQ(server.requests()[1].path, "/v1/admin/tokens/revoke");
    EXPECT_EQ(QJsonDocument::fromJson(server.requests()[1].body).object(),
              QJsonObject({{QStringLiteral("id"), QStringLiteral("t\"1")}}));
    EXPECT_EQ(server.requests()[1].header("X-Idlewyn-Secret"), QByteArray(""));
}

TEST_F(AdminClientTest, StatusCodesAndNonHttpRepliesBecomeAdminErrors)
{
    ScriptedServer server;
    pointAt(server.baseUrl().toString());
    const struct {
        QByteArray reply;
        int code;
        QString text;
    } cases[] = {
        {ScriptedServer::httpResponse(401, "{}"), 401,
         QStringLiteral("The relay rejected the hook secret. Restart it from this menu.")},
        {ScriptedServer::httpResponse(404, "{}"), 404,
         QStringLiteral("The running relay is too old for this app. Update it from this menu.")},
        {ScriptedServer::httpResponse(500, statusJson()), 500, QStringLiteral("The relay returned HTTP 500.")},
        {ScriptedServer::httpResponse(302, {}), 302, QStringLiteral("The relay returned HTTP 302.")},
        {QByteArray("SSH-2.0-OpenSSH_9.2p1\r\n"), 0, QStringLiteral("The relay returned HTTP 0.")},
    };
    for (const auto& c : cases) {
        server.respondRaw(c.reply);
        const auto error = outcomeOf(client().fetchStatus()).errorAs<AdminError>();
        ASSERT_TRUE(error) << c.code;
        EXPECT_EQ(error->code(), c.code);
        EXPECT_EQ(error->description(), c.text);
    }
}

TEST_F(AdminClientTest, RepliesThatDoNotDecodeAreDecodingErrors)
{
    ScriptedServer server;
    pointAt(server.baseUrl().toString());

    server.respondRaw("HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n");
    const auto empty = outcomeOf(client().setRemoteApprovals(true));
    EXPECT_TRUE(empty.errorAs<DecodingError>());
    EXPECT_FALSE(empty.errorAs<AdminError>());

    server.respond(200, statusJson([](QJsonObject& o) { o.remove(QStringLiteral("tokens")); }));
    const auto noTokens = outcomeOf(client().fetchStatus()).errorAs<DecodingError>();
    ASSERT_TRUE(noTokens);
    EXPECT_EQ(noTokens->kind(), DecodingError::Kind::keyNotFound);
    EXPECT_EQ(noTokens->description(), QStringLiteral("No value associated with key \u201Ctokens\u201D."));

    server.respond(200, statusJson([](QJsonObject& o) { o.insert(QStringLiteral("tokens"), QJsonArray{QJsonObject{}}); }));
    EXPECT_TRUE(outcomeOf(client().fetchStatus()).errorAs<DecodingError>()) << "a token needs its id";

    for (const auto& change : std::initializer_list<std::function<void(QJsonObject&)>>{
             [](QJsonObject& o) { o.remove(QStringLiteral("tlsFingerprint")); },
             [](QJsonObject& o) { o.insert(QStringLiteral("tlsFingerprint"), QJsonValue::Null); }}) {
        server.respond(200, statusJson(change));
        const auto status = outcomeOf(client().fetchStatus());
        ASSERT_TRUE(status.succeeded()) << status.errorText().toStdString();
        EXPECT_EQ(status.value->tlsFingerprint, std::nullopt);
    }
}

TEST_F(AdminClientTest, NobodyListeningIsATransportError)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    pointAt(QStringLiteral("http://127.0.0.1:%1").arg(port));

    const auto error = outcomeOf(client().fetchStatus()).errorAs<TransportError>();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), QNetworkReply::ConnectionRefusedError);
    EXPECT_FALSE(error->description().isEmpty());
}

TEST_F(AdminClientTest, AnHttpsRelayIsPinnedToTheCertificateFileAndOnlyThen)
{
    QTemporaryDir directory;
    const TestCertificate served = TestCertificate::generate(directory.path(), QStringLiteral("served"));
    const TestCertificate other = TestCertificate::generate(directory.path(), QStringLiteral("other"));
    ScriptedServer server(served);
    server.respond(200, statusJson());
    pointAt(server.baseUrl().toString() + u'\n');
    const QString certFile = support + QStringLiteral("/relay-cert.pem");

    // No certificate file: the platform's trust, which refuses a self-signed relay.
    EXPECT_EQ(client().pin(client().baseUrl()), std::nullopt);
    EXPECT_TRUE(outcomeOf(client().fetchStatus()).errorAs<TransportError>());

    writeFile(certFile, readFile(served.certificatePath));
    EXPECT_EQ(client().pin(client().baseUrl()), served.opensslFingerprint);
    const auto pinned = outcomeOf(client().fetchStatus());
    ASSERT_TRUE(pinned.succeeded()) << pinned.errorText().toStdString();

    // A relay presenting another certificate never sees the request.
    writeFile(certFile, readFile(other.certificatePath));
    server.clear();
    const auto mismatch = outcomeOf(client().fetchStatus()).errorAs<TransportError>();
    ASSERT_TRUE(mismatch);
    EXPECT_EQ(mismatch->code(), QNetworkReply::OperationCanceledError);
    EXPECT_EQ(server.bytesReceived(), 0);

    // Over plain http the certificate file plays no part.
    EXPECT_EQ(client().pin(QUrl(QStringLiteral("http://127.0.0.1:1"))), std::nullopt);
}

// ----- against the real relay -----

namespace {

// Pairs a phone for `provider` as the phone app would, over `session`.
QCoro::Task<idlewyn::HttpResponse> pairPhone(idlewyn::HttpSession& session, QUrl base, QString code)
{
    idlewyn::HttpRequest request;
    request.method = "POST";
    request.url = base.resolved(QUrl(QStringLiteral("v1/pair")));
    request.headers = {{"Content-Type", "application/json"}};
    request.body = QJsonDocument(QJsonObject{{QStringLiteral("provider"), QStringLiteral("claude")},
                                             {QStringLiteral("code"), code}})
                       .toJson(QJsonDocument::Compact);
    request.timeout = std::chrono::seconds(10);
    co_return co_await session.send(std::move(request));
}

} // namespace

TEST_F(AdminClientTest, DrivesTheRealRelayOverHttp)
{
    RelayInstaller::Options options;
    options.home = home;
    const RelayInstaller installer(options);
    RealRelay relay(installer, /*tls=*/false);
    ASSERT_EQ(relay.url().scheme(), QStringLiteral("http"));

    const auto first = outcomeOf(client().fetchStatus());
    ASSERT_TRUE(first.succeeded()) << first.errorText().toStdString();
    EXPECT_FALSE(first.value->version.isEmpty());
    EXPECT_FALSE(first.value->pairingCode.isEmpty());
    EXPECT_EQ(first.value->tlsFingerprint, std::nullopt);
    EXPECT_TRUE(first.value->tokens.isEmpty());

    const auto switched = outcomeOf(client().setRemoteApprovals(true));
    ASSERT_TRUE(switched.succeeded()) << switched.errorText().toStdString();
    EXPECT_TRUE(switched.value->remoteApprovals);

    const auto paired = outcomeOf(pairPhone(idlewyn::HttpSession::shared(), relay.url().toString() + u'/',
                                            first.value->pairingCode));
    ASSERT_TRUE(paired.succeeded()) << paired.errorText().toStdString();
    ASSERT_EQ(paired.value->status, 200);

    const auto withPhone = outcomeOf(client().fetchStatus());
    ASSERT_TRUE(withPhone.succeeded()) << withPhone.errorText().toStdString();
    EXPECT_TRUE(withPhone.value->remoteApprovals);
    ASSERT_EQ(withPhone.value->tokens.size(), 1);
    EXPECT_EQ(withPhone.value->tokens.first().provider, QStringLiteral("claude"));

    const auto revoked = outcomeOf(client().revoke(withPhone.value->tokens.first().id));
    ASSERT_TRUE(revoked.succeeded()) << revoked.errorText().toStdString();
    EXPECT_EQ(revoked.value->revoked, 1);
    EXPECT_TRUE(outcomeOf(client().fetchStatus()).value->tokens.isEmpty());

    // The secret is read afresh for each request.
    writeFile(support + QStringLiteral("/hook-secret"), "not-the-secret\n");
    EXPECT_EQ(outcomeOf(client().fetchStatus()).errorText(),
              QStringLiteral("The relay rejected the hook secret. Restart it from this menu."));
}

TEST_F(AdminClientTest, DrivesTheRealRelayOverPinnedHttps)
{
    RelayInstaller::Options options;
    options.home = home;
    const RelayInstaller installer(options);
    RealRelay relay(installer, /*tls=*/true);
    ASSERT_EQ(relay.url().scheme(), QStringLiteral("https"));
    ASSERT_EQ(relay.url().host(), QStringLiteral("127.0.0.1"));

    const std::optional<QString> pin = idlewyn::CertificatePin::fingerprint(support + QStringLiteral("/relay-cert.pem"));
    ASSERT_TRUE(pin);
    const auto status = outcomeOf(client().fetchStatus());
    ASSERT_TRUE(status.succeeded()) << status.errorText().toStdString();
    EXPECT_EQ(status.value->tlsFingerprint, pin);

    const auto revoked = outcomeOf(client().revoke(QStringLiteral("no-such-token")));
    ASSERT_TRUE(revoked.succeeded()) << revoked.errorText().toStdString();
    EXPECT_EQ(revoked.value->revoked, 0);
}
