// The relay client against the real relay.py on loopback, with agents played
// by the installed hook scripts.
#include "relay/relay_client.h"

#include "outcome.h"
#include "support/relay_process.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

using namespace idlewyn;
using idlewyn::testing::outcomeOf;
using idlewyn::testing::RelayProcess;

namespace {

std::optional<AgentSession> find(const QList<AgentSession>& sessions, const QString& id)
{
    for (const AgentSession& s : sessions) {
        if (s.id == id) {
            return s;
        }
    }
    return std::nullopt;
}

// Polls the phone's view until the relay shows the hook's held prompt.
PermissionPrompt heldPrompt(const RelayClient& client, const Connection& connection, const QString& sessionId)
{
    std::optional<PermissionPrompt> prompt;
    RelayProcess::waitUntil(
        [&] {
            const auto listed = outcomeOf(client.sessions(connection));
            if (listed.succeeded()) {
                if (auto s = find(*listed.value, sessionId)) {
                    prompt = s->permission;
                }
            }
            return prompt.has_value();
        },
        QStringLiteral("the held prompt of ") + sessionId);
    return *prompt;
}

QJsonObject claudeDecision(const QString& behavior)
{
    return QJsonObject{
        {QStringLiteral("hookSpecificOutput"),
         QJsonObject{{QStringLiteral("hookEventName"), QStringLiteral("PermissionRequest")},
                     {QStringLiteral("decision"), QJsonObject{{QStringLiteral("behavior"), behavior}}}}}};
}

} // namespace

TEST(RelayIntegrationTest, PairListAnswerAndUnpairOverHttp)
{
    RelayProcess relay;
    RelayClient client;

    const auto paired = outcomeOf(client.pair(AgentProvider::claude, relay.url(), relay.pairingCode(), std::nullopt));
    ASSERT_TRUE(paired.succeeded()) << paired.describe();
    const Connection connection = *paired.value;
    EXPECT_FALSE(connection.certificatePin.has_value());
    EXPECT_FALSE(connection.accessToken.isEmpty());
    EXPECT_FALSE(connection.accountName.isEmpty());

    // Sessions as the agents' hooks report them.
    ASSERT_EQ(relay
                  .runHook(QStringLiteral("claude-hook.sh"),
                           RelayProcess::claudeEvent(QStringLiteral("SessionStart"), QStringLiteral("s-hook")))
                  .exitCode,
              0);
    ASSERT_EQ(relay.submitCodexPrompt(QStringLiteral("thread-1")).exitCode, 0);
    const auto listed = outcomeOf(client.sessions(connection));
    ASSERT_TRUE(listed.succeeded()) << listed.describe();
    ASSERT_EQ(listed.value->size(), 1);
    EXPECT_EQ(listed.value->first().id, QStringLiteral("s-hook"));
    EXPECT_EQ(listed.value->first().workingDirectory, QStringLiteral("/home/dev/api"));

    // Away mode, switched from the phone; then Claude asks.
    EXPECT_EQ(outcomeOf(client.setRemoteApprovals(true, connection)).value, true);
    EXPECT_EQ(outcomeOf(client.remoteApprovals(connection)).value, true);
    QProcess* hook = relay.startHook(QStringLiteral("claude-permission-hook.sh"),
                                     RelayProcess::claudePermissionRequest(QStringLiteral("s-ask")));
    const PermissionPrompt prompt = heldPrompt(client, connection, QStringLiteral("s-ask"));
    EXPECT_EQ(prompt.toolName, QStringLiteral("Bash"));

    const auto answered = outcomeOf(client.decide(PermissionDecision::allow, prompt.id, connection));
    ASSERT_TRUE(answered.succeeded()) << answered.describe();
    const RelayProcess::HookRun run = RelayProcess::finishHook(hook);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(QJsonDocument::fromJson(run.output).object(), claudeDecision(QStringLiteral("allow")))
        << "Claude reads the phone's answer from the hook: " << run.output.toStdString();

    EXPECT_EQ(outcomeOf(client.decide(PermissionDecision::deny, prompt.id, connection)).errorAs<RelayError>(),
              RelayError::promptExpired());

    const PushTokenRegistration registration(QStringLiteral("phone-1"), PushTokenRegistration::Kind::activity,
                                             QByteArray(32, '\x5A'), QStringLiteral("sandbox"));
    const auto registered = outcomeOf(client.registerPushToken(registration, connection));
    EXPECT_TRUE(registered.succeeded()) << registered.describe();

    const auto unpaired = outcomeOf(client.unpair(connection));
    ASSERT_TRUE(unpaired.succeeded()) << unpaired.describe();
    EXPECT_EQ(outcomeOf(client.sessions(connection)).errorAs<RelayError>(), RelayError::unauthorized());
}

TEST(RelayIntegrationTest, WrongPairingCodesAreRefusedThenThrottled)
{
    RelayProcess relay;
    RelayClient client;
    std::optional<RelayError> last;
    for (int attempt = 0; attempt < 10 && last != RelayError::tooManyAttempts(); ++attempt) {
        last = outcomeOf(client.pair(AgentProvider::codex, relay.url(), QStringLiteral("WRONG-CODE"), std::nullopt))
                   .errorAs<RelayError>();
        if (last != RelayError::tooManyAttempts()) {
            EXPECT_EQ(last, RelayError::unauthorized());
        }
    }
    EXPECT_EQ(last, RelayError::tooManyAttempts());
}

TEST(RelayIntegrationTest, HttpsPairingPinsTheRelaysCertificateUntilItChanges)
{
    RelayProcess::Options options;
    options.tls = true;
    RelayProcess relay(options);
    RelayClient client;
    ASSERT_EQ(relay.url().scheme(), QStringLiteral("https"));

    const auto paired = outcomeOf(client.pair(AgentProvider::claude, relay.url(), relay.pairingCode(), std::nullopt));
    ASSERT_TRUE(paired.succeeded()) << paired.describe();
    const Connection connection = *paired.value;
    const QString advertised = relay.status().value(QStringLiteral("tlsFingerprint")).toString();
    EXPECT_EQ(connection.certificatePin, advertised);
    EXPECT_EQ(connection.certificatePin, relay.certificateFingerprint());
    EXPECT_TRUE(outcomeOf(client.sessions(connection)).succeeded());
    EXPECT_EQ(outcomeOf(client.setRemoteApprovals(true, connection)).value, true);

    relay.regenerateCertificate();
    ASSERT_NE(relay.certificateFingerprint(), connection.certificatePin);
    const QString code = relay.pairingCode();

    const std::vector<std::pair<const char*, std::exception_ptr>> outcomes{
        {"pair", outcomeOf(client.pair(AgentProvider::codex, relay.url(), code, connection.certificatePin)).error},
        {"sessions", outcomeOf(client.sessions(connection)).error},
        {"decide", outcomeOf(client.decide(PermissionDecision::allow, QStringLiteral("p1"), connection)).error},
        {"remoteApprovals", outcomeOf(client.remoteApprovals(connection)).error},
        {"setRemoteApprovals", outcomeOf(client.setRemoteApprovals(false, connection)).error},
        {"registerPushToken", outcomeOf(client.registerPushToken(PushTokenRegistration(), connection)).error},
        {"unpair", outcomeOf(client.unpair(connection)).error},
    };
    for (const auto& [operation, error] : outcomes) {
        idlewyn::testing::Outcome<void> outcome;
        outcome.error = error;
        EXPECT_EQ(outcome.errorAs<RelayError>(), RelayError::certificateMismatch())
            << operation << " " << outcome.describe();
    }
    EXPECT_TRUE(relay.status().value(QStringLiteral("remoteApprovals")).toBool())
        << "nothing reached the relay with its new certificate";

    // Pairing again trusts the new certificate.
    const auto repaired = outcomeOf(client.pair(AgentProvider::claude, relay.url(), code, std::nullopt));
    ASSERT_TRUE(repaired.succeeded()) << repaired.describe();
    EXPECT_EQ(repaired.value->certificatePin, relay.certificateFingerprint());
}
