#include "supervisor/admin_client.h"

#include "relay/certificate_pin.h"
#include "support/scripted_server.h"
#include "support/test_certificate.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include "supervisor_test_support.h"

using namespace vesperline;
using namespace vesperline::fixtures;
using idlewyn::DecodingError;
using idlewyn::TransportError;
using idlewyn::testing::ScriptedServer;
using idlewyn::testing::TestCertificate;

namespace {

QByteArray changedStatus(const std::function<void(QJsonObject&)>& change)
{
    QJsonObject object = QJsonDocument::fromJson(statusDocument()).object();
    change(object);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

class AdminClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = freshHome();
        support = home + QStringLiteral("/.idlewyn-relay");
        server.respond(200, statusDocument());
        pointAt(server.baseUrl().toString());
    }

    void pointAt(const QString& url) { writeFile(support + QStringLiteral("/relay-url"), url.toUtf8()); }

    QString home;
    QString support;
    ScriptedServer server;
    AdminClient client{QDir::homePath() + QStringLiteral("/.idlewyn-relay")};
};

} // namespace

TEST_F(AdminClientTest, SendsTheTrimmedSecretThenTheJsonTypeToThePathUnderTheRelayUrl)
{
    pointAt(QStringLiteral("  ") + server.baseUrl().toString() + QStringLiteral("/relay\n"));
    writeFile(support + QStringLiteral("/hook-secret"), "s3cret\n");
    server.respond(200, changedStatus([](QJsonObject& o) { o.insert(QStringLiteral("addedLater"), 1); }));

    const auto status = outcomeOf(client.fetchStatus());
    ASSERT_TRUE(status.value) << status.errorText().toStdString();
    EXPECT_EQ(*status.value, sampleStatus());
    const ScriptedServer::Request& request = server.requests().value(0);
    EXPECT_EQ(request.method + ' ' + request.path, "GET /relay/v1/admin/status");
    const QList<QPair<QByteArray, QByteArray>> ours{{"X-Idlewyn-Secret", "s3cret"},
                                                    {"Content-Type", "application/json"}};
    EXPECT_EQ(request.headers.indexOf(ours[0]) + 1, request.headers.indexOf(ours[1])) << "in this order";

    QFile::remove(support + QStringLiteral("/hook-secret"));
    EXPECT_TRUE(outcomeOf(client.fetchStatus()).value);
    EXPECT_EQ(server.requests().value(1).header("X-Idlewyn-Secret"), QByteArray("")) << "present, and empty";
}

TEST_F(AdminClientTest, TheBaseUrlFallsBackToTheDefaultWhenTheFileIsMissingOrInvalid)
{
    QFile::remove(support + QStringLiteral("/relay-url"));
    EXPECT_EQ(client.baseUrl(), QUrl(QStringLiteral("http://127.0.0.1:8787")));
    pointAt(QStringLiteral("http://127.0.0.1:80 80/"));
    EXPECT_EQ(client.baseUrl(), QUrl(QStringLiteral("http://127.0.0.1:8787")));
}

TEST_F(AdminClientTest, RequestsGoToTheLoopbackListenerWhenTheRelayNamesOne)
{
    ScriptedServer local;
    local.respond(200, statusDocument());
    const QString portFile = support + QStringLiteral("/local-port");
    writeFile(portFile, QByteArray::number(local.baseUrl().port()) + '\n');

    EXPECT_TRUE(outcomeOf(client.fetchStatus()).value);
    EXPECT_TRUE(outcomeOf(client.setRemoteApprovals(true)).value);
    ASSERT_EQ(local.requests().size(), 2);
    EXPECT_EQ(local.requests()[0].method + ' ' + local.requests()[0].path, "GET /v1/admin/status");
    EXPECT_EQ(local.requests()[1].path, "/v1/admin/settings");
    EXPECT_TRUE(server.requests().isEmpty()) << "nothing went to relay-url";

    // A port file that names no port leaves relay-url in charge.
    for (const QByteArray& junk :
         {QByteArray("http://127.0.0.1:1\n"), QByteArray("0"), QByteArray("70000"), QByteArray("")}) {
        writeFile(portFile, junk);
        EXPECT_EQ(client.requestBaseUrl(), server.baseUrl()) << junk.toStdString();
    }
}

TEST_F(AdminClientTest, SettingsAndRevokeSendTheirBodiesAndDecodeTheReplies)
{
    server.setResponder([](const ScriptedServer::Request& request) {
        return ScriptedServer::httpResponse(
            200, request.path.endsWith("settings") ? "{\"remoteApprovals\":false}" : "{\"revoked\":2}");
    });
    EXPECT_EQ(outcomeOf(client.setRemoteApprovals(true)).value, AdminClient::Body{false}) << "the relay's word";
    EXPECT_EQ(outcomeOf(client.revoke(QStringLiteral("t\"1"))).value, AdminClient::Revoked{2});
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests()[0].method + server.requests()[0].body, "POST{\"remoteApprovals\":true}");
    EXPECT_EQ(server.requests()[1].path + server.requests()[1].body, "/v1/admin/tokens/revoke{\"id\":\"t\\\"1\"}");
}

TEST_F(AdminClientTest, StatusesOtherThanSuccessAndNonHttpRepliesAreAdminErrors)
{
    const QList<std::pair<QByteArray, QString>> cases{
        {ScriptedServer::httpResponse(404, "{}"),
         QStringLiteral("The running relay is too old for this app. Update it from this menu.")},
        {ScriptedServer::httpResponse(500, statusDocument()), QStringLiteral("The relay returned HTTP 500.")},
        {ScriptedServer::httpResponse(302, {}), QStringLiteral("The relay returned HTTP 302.")},
        {"SSH-2.0-OpenSSH_9.2p1\r\n", QStringLiteral("The relay returned HTTP 0.")},
    };
    for (const auto& [reply, text] : cases) {
        server.respondRaw(reply);
        const auto error = outcomeOf(client.fetchStatus()).errorAs<AdminError>();
        ASSERT_TRUE(error) << text.toStdString();
        EXPECT_EQ(error->description(), text);
    }
}

TEST_F(AdminClientTest, RepliesThatDoNotDecodeAreDecodingErrors)
{
    server.respondRaw("HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n");
    const auto empty = outcomeOf(client.setRemoteApprovals(true));
    EXPECT_TRUE(empty.errorAs<DecodingError>());
    EXPECT_FALSE(empty.errorAs<AdminError>());

    server.respond(200, changedStatus([](QJsonObject& o) { o.remove(QStringLiteral("tokens")); }));
    EXPECT_EQ(outcomeOf(client.fetchStatus()).errorText(),
              QStringLiteral("No value associated with key \u201Ctokens\u201D."));
}

TEST_F(AdminClientTest, NobodyListeningIsATransportError)
{
    pointAt(closedPortUrl());
    const auto error = outcomeOf(client.fetchStatus()).errorAs<TransportError>();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), QNetworkReply::ConnectionRefusedError);
}

TEST_F(AdminClientTest, AnHttpsRelayIsPinnedToTheCertificateFileWhenThereIsOne)
{
    QTemporaryDir directory;
    const TestCertificate served = TestCertificate::generate(directory.path(), QStringLiteral("served"));
    const TestCertificate other = TestCertificate::generate(directory.path(), QStringLiteral("other"));
    ScriptedServer tls(served);
    tls.respond(200, statusDocument());
    pointAt(tls.baseUrl().toString() + u'\n');
    const QString certificateFile = support + QStringLiteral("/relay-cert.pem");

    // Without the file the platform's trust decides, and it refuses a self-signed relay.
    EXPECT_TRUE(outcomeOf(client.fetchStatus()).errorAs<TransportError>());

    // A pin to another certificate (the real relay's test succeeds with its own).
    writeFile(certificateFile, readFile(other.certificatePath));
    tls.clear();
    const auto mismatch = outcomeOf(client.fetchStatus()).errorAs<TransportError>();
    ASSERT_TRUE(mismatch);
    EXPECT_EQ(mismatch->code(), QNetworkReply::OperationCanceledError);
    EXPECT_EQ(tls.bytesReceived(), 0) << "the secret never left";
}

// ----- against the real relay -----

TEST_F(AdminClientTest, DrivesTheRealRelayOverHttpWhateverItsStoredFilesHold)
{
    // Records a hand edit or a damaged disk could leave, beside good ones;
    // NOW stands for the current time, so that no record is too old to list.
    const QByteArray now = QByteArray::number(QDateTime::currentSecsSinceEpoch());
    auto stored = [&](const char* json) {
        return QByteArray(json).replace("NOW", now).replace("HASH", QByteArray(64, 'a'));
    };
    writeFile(support + QStringLiteral("/tokens.json"), stored(R"({"tokens": [
        {"id": "good", "provider": "codex", "hash": "HASH", "createdAt": NOW},
        {"id": "seen", "hash": "HASH", "createdAt": NOW, "lastSeenAt": "yesterday"},
        {"id": "made", "hash": "HASH", "createdAt": 1e400},
        {"id": "kind", "provider": 5, "hash": "HASH", "createdAt": NOW}]})"));
    writeFile(support + QStringLiteral("/state.json"), stored(R"({"sessions": [
        {"id": "good", "provider": "claude", "status": "working", "started": NOW, "updated": NOW, "last_event": NOW},
        {"id": "lone", "title": "fix \ud800", "provider": "claude", "started": NOW, "updated": NOW, "last_event": NOW},
        {"id": "far", "turn_started": 1e400, "provider": "claude", "started": NOW, "updated": NOW, "last_event": NOW},
        {"id": "text", "provider": "claude", "started": NOW, "updated": "soon", "last_event": NOW},
        {"sessions": "nested"}]})"));

    RunningRelay relay(home);
    ASSERT_TRUE(relay.answers());
    const auto status = outcomeOf(client.fetchStatus());
    ASSERT_TRUE(status.value) << status.errorText().toStdString();
    EXPECT_EQ(status.value->tlsFingerprint, std::nullopt);
    ASSERT_EQ(status.value->tokens.size(), 1);
    EXPECT_EQ(status.value->tokens.first().id, QStringLiteral("good"));
    QStringList titles;
    for (const idlewyn::AgentSession& s : status.value->sessions) {
        titles.append(s.id + QLatin1Char('=') + s.title);
    }
    titles.sort();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("good=Claude Code session"), QStringLiteral("lone=fix \uFFFD")}));

    EXPECT_EQ(outcomeOf(client.setRemoteApprovals(true)).value, AdminClient::Body{true});
    EXPECT_TRUE(outcomeOf(client.fetchStatus()).value->remoteApprovals);
    EXPECT_EQ(outcomeOf(client.revoke(QStringLiteral("good"))).value, AdminClient::Revoked{1});
    EXPECT_TRUE(outcomeOf(client.fetchStatus()).value->tokens.isEmpty());

    writeFile(support + QStringLiteral("/hook-secret"), "not-the-secret\n"); // read afresh each time
    EXPECT_EQ(outcomeOf(client.fetchStatus()).errorText(),
              QStringLiteral("The relay rejected the hook secret. Restart it from this menu."));
}

TEST_F(AdminClientTest, TalksToTheRealRelaysLoopbackListenerAndFallsBackToPinnedHttps)
{
    RunningRelay relay(home, /*tls=*/true);
    ASSERT_TRUE(relay.answers());
    ASSERT_TRUE(client.baseUrl().toString().startsWith(QStringLiteral("https://127.0.0.1:")));
    const QByteArray localPort = readFile(support + QStringLiteral("/local-port")).trimmed();
    EXPECT_EQ(client.requestBaseUrl(), QUrl(QStringLiteral("http://127.0.0.1:") + QString::fromUtf8(localPort)));
    const auto local = outcomeOf(client.fetchStatus());
    ASSERT_TRUE(local.value) << local.errorText().toStdString();
    const std::optional<QString> pin =
        idlewyn::CertificatePin::fingerprint(support + QStringLiteral("/relay-cert.pem"));
    EXPECT_EQ(local.value->tlsFingerprint, pin);

    // A relay without the listener: the admin routes on its TLS port, pinned.
    QFile::remove(support + QStringLiteral("/local-port"));
    ASSERT_EQ(client.requestBaseUrl(), client.baseUrl());
    const auto pinned = outcomeOf(client.fetchStatus());
    ASSERT_TRUE(pinned.value) << pinned.errorText().toStdString();
}
