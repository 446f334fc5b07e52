// The relay client against a scripted local server: what goes on the wire
// for every operation, and how every kind of answer is reported.
#include "relay/relay_client.h"

#include "outcome.h"
#include "support/scripted_server.h"
#include "support/test_certificate.h"

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>

using namespace idlewyn;
using idlewyn::testing::outcomeOf;
using idlewyn::testing::ScriptedServer;
using idlewyn::testing::TestCertificate;

namespace {

using Request = ScriptedServer::Request;
using Headers = QList<QPair<QByteArray, QByteArray>>;

// What Qt's HTTP stack adds on its own; everything else was set by us.
const QSet<QByteArray> transportHeaders{
    "host", "content-length", "connection", "accept-encoding", "accept-language", "user-agent"};

Headers ourHeaders(const Request& request)
{
    Headers ours;
    for (const auto& header : request.headers) {
        if (!transportHeaders.contains(header.first.toLower())) {
            ours.append(header);
        }
    }
    return ours;
}

QJsonObject bodyObject(const Request& request)
{
    return QJsonDocument::fromJson(request.body).object();
}

QByteArray sessionJson(const QString& id, const QString& provider)
{
    return QStringLiteral(R"({"id":"%1","provider":"%2","title":"t","status":"working",)"
                          R"("startedAt":"2026-03-01T09:00:00.000Z","updatedAt":"2026-03-01T09:05:00.000Z"})")
        .arg(id, provider)
        .toUtf8();
}

// A relay that answers every route with a well-formed body.
QByteArray wellFormedAnswer(const Request& request)
{
    const QByteArray& path = request.path;
    if (path.endsWith("/v1/pair")) {
        return ScriptedServer::httpResponse(200, R"({"token":"issued-token","account":"dev@studio"})");
    }
    if (path.endsWith("/v1/sessions")) {
        return ScriptedServer::httpResponse(200, R"({"sessions":[)" + sessionJson("c1", "claude") + "]}");
    }
    if (path.endsWith("/v1/settings")) {
        return ScriptedServer::httpResponse(200, R"({"remoteApprovals":true})");
    }
    return ScriptedServer::httpResponse(200, R"({"ok":true})");
}

Connection connectionTo(const QUrl& url, AgentProvider provider = AgentProvider::claude)
{
    return Connection{
        provider, url, QStringLiteral("tok-123"), QStringLiteral("dev"), QDateTime::currentDateTimeUtc(), std::nullopt};
}

class RelayClientTest : public ::testing::Test {
protected:
    void SetUp() override { server.setResponder(wellFormedAnswer); }

    const Request& only() const
    {
        EXPECT_EQ(server.requests().size(), 1);
        return server.requests().last();
    }

    ScriptedServer server;
    RelayClient client;
    Connection connection = connectionTo(server.baseUrl());
};

} // namespace

TEST_F(RelayClientTest, PairPostsProviderAndCodeWithoutAuthorization)
{
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const auto paired =
        outcomeOf(client.pair(AgentProvider::codex, server.baseUrl(), QStringLiteral(" ab-12 "), std::nullopt));
    ASSERT_TRUE(paired.succeeded()) << paired.describe();

    const Request& request = only();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/v1/pair");
    EXPECT_EQ(ourHeaders(request), (Headers{{"Content-Type", "application/json"}}));
    EXPECT_EQ(bodyObject(request),
              (QJsonObject{{QStringLiteral("provider"), QStringLiteral("codex")},
                           {QStringLiteral("code"), QStringLiteral(" ab-12 ")}}))
        << "the code goes out exactly as given";

    const Connection& made = *paired.value;
    EXPECT_EQ(made.provider, AgentProvider::codex);
    EXPECT_EQ(made.serverURL, server.baseUrl());
    EXPECT_EQ(made.accessToken, QStringLiteral("issued-token"));
    EXPECT_EQ(made.accountName, QStringLiteral("dev@studio"));
    EXPECT_FALSE(made.certificatePin.has_value()) << "plain http has nothing to pin";
    EXPECT_GE(made.connectedAt, before);
    EXPECT_LE(made.connectedAt, QDateTime::currentDateTimeUtc());
}

TEST_F(RelayClientTest, SessionListIsAPlainAuthorizedGetFilteredToTheProvider)
{
    server.respond(200,
                   "{\"sessions\":[" + sessionJson("c1", "claude") + "," + sessionJson("x1", "codex") + ","
                       + sessionJson("c2", "claude") + "]}");
    const auto listed = outcomeOf(client.sessions(connection));
    ASSERT_TRUE(listed.succeeded()) << listed.describe();
    QStringList ids;
    for (const AgentSession& s : *listed.value) {
        ids.append(s.id);
    }
    EXPECT_EQ(ids, (QStringList{QStringLiteral("c1"), QStringLiteral("c2")}))
        << "only the connection's provider, in order";

    const Request& request = only();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/v1/sessions?provider=claude");
    EXPECT_EQ(ourHeaders(request), (Headers{{"Authorization", "Bearer tok-123"}}))
        << "the one request without Content-Type";
    EXPECT_TRUE(request.body.isEmpty());
}

TEST_F(RelayClientTest, SettingIsWhatTheRelayReports)
{
    server.respond(200, R"({"remoteApprovals":false})");
    EXPECT_EQ(outcomeOf(client.setRemoteApprovals(true, connection)).value, false);
    server.respond(200, R"({"remoteApprovals":true})");
    EXPECT_EQ(outcomeOf(client.remoteApprovals(connection)).value, true);
}

TEST_F(RelayClientTest, EveryOtherRequestCarriesBearerTokenAndJsonContentType)
{
    struct Row {
        const char* name;
        std::function<QCoro::Task<>()> run;
        QByteArray method;
        QByteArray path;
        std::optional<QJsonObject> body;
    };
    const auto discard = [](auto task) -> QCoro::Task<> { co_await task; };
    const PushTokenRegistration registration(QStringLiteral("phone-1"), PushTokenRegistration::Kind::pushToStart,
                                             QByteArray::fromHex("0aff"), QStringLiteral("sandbox"),
                                             QStringLiteral("gw-key"));
    const std::vector<Row> rows{
        {"decide", [&] { return client.decide(PermissionDecision::always, QStringLiteral("p-1"), connection); }, "POST",
         "/v1/permissions/p-1", QJsonObject{{QStringLiteral("decision"), QStringLiteral("always")}}},
        {"remoteApprovals", [&] { return discard(client.remoteApprovals(connection)); }, "GET", "/v1/settings",
         std::nullopt},
        {"setRemoteApprovals", [&] { return discard(client.setRemoteApprovals(false, connection)); }, "POST",
         "/v1/settings", QJsonObject{{QStringLiteral("remoteApprovals"), false}}},
        {"registerPushToken", [&] { return client.registerPushToken(registration, connection); }, "POST",
         "/v1/push/tokens",
         QJsonObject{{QStringLiteral("deviceID"), QStringLiteral("phone-1")},
                     {QStringLiteral("kind"), QStringLiteral("pushToStart")},
                     {QStringLiteral("token"), QStringLiteral("0aff")},
                     {QStringLiteral("environment"), QStringLiteral("sandbox")},
                     {QStringLiteral("pushKey"), QStringLiteral("gw-key")}}},
        {"unpair", [&] { return client.unpair(connection); }, "POST", "/v1/unpair", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        server.clear();
        const auto outcome = outcomeOf(row.run());
        ASSERT_TRUE(outcome.succeeded()) << outcome.describe();
        const Request& request = only();
        EXPECT_EQ(request.method, row.method);
        EXPECT_EQ(request.target, row.path) << "no query on any route but the session list";
        EXPECT_EQ(ourHeaders(request),
                  (Headers{{"Authorization", "Bearer tok-123"}, {"Content-Type", "application/json"}}));
        if (row.body) {
            EXPECT_EQ(bodyObject(request), *row.body);
        } else {
            EXPECT_TRUE(request.body.isEmpty()) << "a GET and the unpair POST send no body at all";
        }
    }
}

TEST_F(RelayClientTest, PathsJoinBasesWithAndWithoutTrailingSlashOrOwnPath)
{
    const QString root = server.baseUrl().toString();
    const std::vector<std::pair<QString, QByteArray>> bases{{root, ""},
                                                            {root + u'/', ""},
                                                            {root + QStringLiteral("/relay"), "/relay"},
                                                            {root + QStringLiteral("/relay/"), "/relay"}};
    for (const auto& [base, prefix] : bases) {
        SCOPED_TRACE(base.toStdString());
        server.clear();
        const Connection at = connectionTo(QUrl(base), AgentProvider::codex); // the query follows the provider
        ASSERT_TRUE(
            outcomeOf(client.pair(AgentProvider::claude, QUrl(base), QStringLiteral("1"), std::nullopt)).succeeded());
        ASSERT_TRUE(outcomeOf(client.sessions(at)).succeeded());
        ASSERT_EQ(server.requests().size(), 2);
        EXPECT_EQ(server.requests()[0].target, prefix + "/v1/pair");
        EXPECT_EQ(server.requests()[1].target, prefix + "/v1/sessions?provider=codex");
    }
}

TEST_F(RelayClientTest, PromptIdIsExactlyOneEncodedSegment)
{
    const std::vector<std::pair<QString, QByteArray>> ids{
        {QStringLiteral("a b/c?d#e%f"), "/v1/permissions/a%20b%2Fc%3Fd%23e%25f"},
        {QStringLiteral("../../admin/status"), "/v1/permissions/..%2F..%2Fadmin%2Fstatus"},
        {QStringLiteral("caf\u00e9"), "/v1/permissions/caf%C3%A9"},
        {QStringLiteral("..."), "/v1/permissions/..."},
    };
    for (const auto& [id, path] : ids) {
        server.clear();
        ASSERT_TRUE(outcomeOf(client.decide(PermissionDecision::deny, id, connection)).succeeded()) << id.toStdString();
        EXPECT_EQ(only().target, path);
    }

    // Whatever their encoding, URL normalisation turns these into dot
    // segments (or no segment): they can only name some other path.
    server.clear();
    for (const QString& id : {QStringLiteral(".."), QStringLiteral("."), QString()}) {
        const auto outcome = outcomeOf(client.decide(PermissionDecision::allow, id, connection));
        EXPECT_EQ(outcome.errorAs<RelayError>(), RelayError::invalidResponse()) << id.toStdString();
    }
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(RelayClientTest, StatusesMapToRelayErrors)
{
    struct Row {
        int status;
        QByteArray body;
        RelayError expected;
    };
    const std::vector<Row> sessionRows{
        {401, "{}", RelayError::unauthorized()},
        {403, "{}", RelayError::unauthorized()},
        {404, "{}", RelayError::server(404)},
        {429, "{}", RelayError::tooManyAttempts()},
        {500, R"({"sessions":[]})", RelayError::server(500)},
        {302, "", RelayError::server(302)},
        // A success status with a body that is not the expected record.
        {200, "", RelayError::invalidResponse()},
        {200, "not json", RelayError::invalidResponse()},
        {200, R"({"sessions":{}})", RelayError::invalidResponse()},
        // One session that does not decode spoils the whole list.
        {200, "{\"sessions\":[" + sessionJson("c1", "claude") + R"(,{"id":"c2","provider":"claude"}]})",
         RelayError::invalidResponse()},
    };
    for (const Row& row : sessionRows) {
        SCOPED_TRACE(row.status);
        server.respond(row.status, row.body);
        const auto outcome = outcomeOf(client.sessions(connection));
        EXPECT_EQ(outcome.errorAs<RelayError>(), row.expected) << outcome.describe();
    }

    server.respond(404, "{}");
    EXPECT_EQ(outcomeOf(client.decide(PermissionDecision::allow, QStringLiteral("gone/one"), connection))
                  .errorAs<RelayError>(),
              RelayError::promptExpired())
        << "the percent-encoded permission path still counts as one";
    EXPECT_EQ(outcomeOf(client.unpair(connection)).errorAs<RelayError>(), RelayError::server(404));
}

TEST_F(RelayClientTest, OkAnswersNeedTheKeyButNotItsValue)
{
    const std::vector<std::tuple<int, QByteArray, bool>> answers{{200, "", false},
                                                                 {200, "{}", false},
                                                                 {200, R"({"ok":"yes"})", false},
                                                                 {200, R"({"ok":false})", true},
                                                                 {200, R"({"ok":true,"more":1})", true},
                                                                 {201, R"({"ok":true})", true}}; // any 2xx
    for (const auto& [status, body, accepted] : answers) {
        SCOPED_TRACE((QByteArray::number(status) + " " + body).toStdString());
        server.respond(status, body);
        const auto outcome = outcomeOf(client.unpair(connection));
        if (accepted) {
            EXPECT_TRUE(outcome.succeeded()) << outcome.describe();
        } else {
            EXPECT_EQ(outcome.errorAs<RelayError>(), RelayError::invalidResponse());
        }
    }
}

TEST_F(RelayClientTest, AnswerThatIsNotHttpIsInvalidAndTransportFailuresPassThrough)
{
    server.respondRaw("SSH-2.0-OpenSSH_9.2\r\n");
    EXPECT_EQ(outcomeOf(client.remoteApprovals(connection)).errorAs<RelayError>(), RelayError::invalidResponse());

    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const QUrl nowhere(QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()));
    closed.close();
    const auto refused = outcomeOf(client.sessions(connectionTo(nowhere)));
    ASSERT_TRUE(refused.errorAs<TransportError>()) << refused.describe();
    EXPECT_EQ(refused.errorAs<TransportError>()->code(), QNetworkReply::ConnectionRefusedError);
}

TEST_F(RelayClientTest, DemoConnectionsMakeNoRequest)
{
    const Connection demo = Connection::demo(AgentProvider::claude);
    EXPECT_EQ(outcomeOf(client.sessions(demo)).value, QList<AgentSession>{});
    EXPECT_EQ(outcomeOf(client.remoteApprovals(demo)).value, false);
    EXPECT_EQ(outcomeOf(client.setRemoteApprovals(true, demo)).value, false);
    EXPECT_TRUE(outcomeOf(client.decide(PermissionDecision::allow, QStringLiteral("p"), demo)).succeeded());
    EXPECT_TRUE(outcomeOf(client.registerPushToken(PushTokenRegistration(), demo)).succeeded());
    EXPECT_TRUE(outcomeOf(client.unpair(demo)).succeeded());
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST(RelayClientTlsTest, PairingPinsTheLeafAndAnotherLeafIsRefusedBeforeAByteIsSent)
{
    QTemporaryDir dir;
    const TestCertificate relayCertificate = TestCertificate::generate(dir.path());
    ScriptedServer server(relayCertificate);
    server.setResponder(wellFormedAnswer);
    RelayClient client;
    const auto firstUse =
        outcomeOf(client.pair(AgentProvider::claude, server.baseUrl(), QStringLiteral("1"), std::nullopt));
    ASSERT_TRUE(firstUse.succeeded()) << firstUse.describe();
    EXPECT_EQ(firstUse.value->certificatePin, relayCertificate.opensslFingerprint) << "first use records the leaf";

    // The pin as a person writes it down: "AB:CD:…".
    const QString written = relayCertificate.opensslFingerprint.toUpper().replace(
        QRegularExpression(QStringLiteral("(..)(?!$)")), QStringLiteral("\\1:"));
    const auto given = outcomeOf(client.pair(AgentProvider::claude, server.baseUrl(), QStringLiteral("1"), written));
    ASSERT_TRUE(given.succeeded()) << given.describe();
    EXPECT_EQ(given.value->certificatePin, relayCertificate.opensslFingerprint) << "a given pin is stored normalized";

    // The relay's certificate changed since pairing (or someone else answers).
    server.clear();
    Connection pinned = *given.value;
    pinned.certificatePin = QString(64, u'0');
    const auto failure = [](auto task) { return outcomeOf(std::move(task)).template errorAs<RelayError>(); };
    const RelayError mismatch = RelayError::certificateMismatch();
    EXPECT_EQ(failure(client.pair(AgentProvider::codex, server.baseUrl(), QStringLiteral("1"), pinned.certificatePin)),
              mismatch);
    EXPECT_EQ(failure(client.sessions(pinned)), mismatch);
    EXPECT_EQ(failure(client.decide(PermissionDecision::allow, QStringLiteral("p1"), pinned)), mismatch);
    EXPECT_EQ(failure(client.remoteApprovals(pinned)), mismatch);
    EXPECT_EQ(failure(client.setRemoteApprovals(false, pinned)), mismatch);
    EXPECT_EQ(failure(client.registerPushToken(PushTokenRegistration(), pinned)), mismatch);
    EXPECT_EQ(failure(client.unpair(pinned)), mismatch);
    EXPECT_EQ(server.bytesReceived(), 0) << "neither the pairing code nor a token reaches another certificate";
}
