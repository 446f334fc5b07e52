// The push gateway client against a scripted local gateway.
#include "relay/push_gateway_client.h"

#include "model/json_coding.h"
#include "outcome.h"
#include "support/scripted_server.h"
#include "support/test_certificate.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QTemporaryDir>

using namespace idlewyn;
using idlewyn::testing::outcomeOf;
using idlewyn::testing::ScriptedServer;
using idlewyn::testing::TestCertificate;

TEST(PushGatewayClientTest, DeploymentSettingMustBeANonEmptyUrl)
{
    EXPECT_FALSE(PushGatewayClient::baseURLFromSetting(QString()).has_value());
    EXPECT_FALSE(PushGatewayClient::baseURLFromSetting(QStringLiteral("https://gate way.example/")).has_value());
    EXPECT_EQ(PushGatewayClient::baseURLFromSetting(QStringLiteral("https://push.example.net/gw")),
              QUrl(QStringLiteral("https://push.example.net/gw")));
}

TEST(PushGatewayClientTest, WithoutGatewayThereIsNoKey)
{
    PushGatewayClient client(std::nullopt);
    EXPECT_FALSE(client.isConfigured());
    const auto key = outcomeOf(client.pushKey(QStringLiteral("0aff"), QStringLiteral("production")));
    ASSERT_TRUE(key.succeeded()) << key.describe();
    EXPECT_FALSE(key.value->has_value());
}

TEST(PushGatewayClientTest, RegistersOnceAndKeepsTheKeyPerEnvironmentAndToken)
{
    ScriptedServer server;
    server.setResponder([&server](const ScriptedServer::Request&) {
        return ScriptedServer::httpResponse(
            200, QStringLiteral(R"({"pushKey":"key-%1"})").arg(server.requests().size()).toUtf8());
    });
    PushGatewayClient client(QUrl(server.baseUrl().toString() + QStringLiteral("/gateway/")));
    EXPECT_TRUE(client.isConfigured());

    EXPECT_EQ(outcomeOf(client.pushKey(QStringLiteral("0aff"), QStringLiteral("production"))).value,
              QStringLiteral("key-1"));
    ASSERT_EQ(server.requests().size(), 1);
    const auto& request = server.requests().first();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/gateway/v1/register");
    EXPECT_EQ(request.header("Content-Type"), QByteArray("application/json"));
    EXPECT_FALSE(request.header("Authorization").has_value());
    EXPECT_EQ(QJsonDocument::fromJson(request.body).object(),
              (QJsonObject{{QStringLiteral("token"), QStringLiteral("0aff")},
                           {QStringLiteral("environment"), QStringLiteral("production")}}));

    EXPECT_EQ(outcomeOf(client.pushKey(QStringLiteral("0aff"), QStringLiteral("production"))).value,
              QStringLiteral("key-1"));
    EXPECT_EQ(server.requests().size(), 1) << "a known key is not asked for again";

    EXPECT_EQ(outcomeOf(client.pushKey(QStringLiteral("0aff"), QStringLiteral("sandbox"))).value,
              QStringLiteral("key-2"));
    EXPECT_EQ(server.requests().size(), 2) << "another environment is another key";
}

TEST(PushGatewayClientTest, AnythingButAUsable200FailsAndCachesNothing)
{
    ScriptedServer server;
    PushGatewayClient client(server.baseUrl());
    const auto ask = [&client] {
        return outcomeOf(client.pushKey(QStringLiteral("0aff"), QStringLiteral("production")));
    };

    server.respond(201, R"({"pushKey":"k"})");
    EXPECT_EQ(ask().errorAs<RelayError>(), RelayError::server(201));
    server.respond(204, "");
    EXPECT_EQ(ask().errorAs<RelayError>(), RelayError::server(204));
    server.respond(500, R"({"pushKey":"k"})");
    EXPECT_EQ(ask().errorAs<RelayError>(), RelayError::server(500));
    server.respondRaw("SSH-2.0-OpenSSH_9.2\r\n");
    EXPECT_EQ(ask().errorAs<RelayError>(), RelayError::server(0));

    server.respond(200, R"({"key":"k"})");
    const auto missing = ask();
    const auto decoding = missing.errorAs<DecodingError>();
    ASSERT_TRUE(decoding) << missing.describe();
    EXPECT_EQ(decoding->kind(), DecodingError::Kind::keyNotFound);
    EXPECT_FALSE(missing.errorAs<RelayError>().has_value()) << "the decoding error itself is passed on";

    server.respond(200, R"({"pushKey":"good"})");
    const qsizetype before = server.requests().size();
    EXPECT_EQ(ask().value, QStringLiteral("good"));
    EXPECT_EQ(server.requests().size(), before + 1) << "failures left nothing in the cache";
}

TEST(PushGatewayClientTest, GatewayCertificateIsCheckedByThePlatform)
{
    QTemporaryDir dir;
    ScriptedServer server(TestCertificate::generate(dir.path()));
    PushGatewayClient client(server.baseUrl());
    const auto outcome = outcomeOf(client.pushKey(QStringLiteral("0aff"), QStringLiteral("production")));
    ASSERT_TRUE(outcome.errorAs<TransportError>()) << outcome.describe();
    EXPECT_EQ(outcome.errorAs<TransportError>()->code(), QNetworkReply::SslHandshakeFailedError);
    EXPECT_TRUE(server.requests().isEmpty());
}
