// The relay client against the real relay.py on loopback over https, with
// agents played by the installed hook scripts: what the scripted tests assume
// of the relay's routes and bodies, checked against the relay itself.
#include "relay/relay_client.h"

#include "outcome.h"
#include "support/relay_process.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

using namespace idlewyn;
using idlewyn::testing::outcomeOf;
using idlewyn::testing::RelayProcess;

namespace {

// Polls the phone's view until the relay shows the hook's held prompt.
PermissionPrompt heldPrompt(const RelayClient& client, const Connection& connection, const QString& sessionId)
{
    std::optional<PermissionPrompt> prompt;
    RelayProcess::waitUntil(
        [&] {
            const auto listed = outcomeOf(client.sessions(connection));
            for (const AgentSession& s : listed.value.value_or(QList<AgentSession>{})) {
                if (s.id == sessionId) {
                    prompt = s.permission;
                }
            }
            return prompt.has_value();
        },
        QStringLiteral("the held prompt of ") + sessionId);
    return *prompt;
}

} // namespace

TEST(RelayIntegrationTest, PairListAnswerAndUnpairOverHttps)
{
    RelayProcess::Options tls;
    tls.tls = true;
    RelayProcess relay(tls);
    RelayClient client;

    // First use pins the certificate the relay advertises in its pairing link.
    const QString code = relay.status().value(QStringLiteral("pairingCode")).toString();
    const auto paired = outcomeOf(client.pair(AgentProvider::claude, relay.url(), code, std::nullopt));
    ASSERT_TRUE(paired.succeeded()) << paired.describe();
    const Connection connection = *paired.value;
    EXPECT_EQ(connection.certificatePin, relay.status().value(QStringLiteral("tlsFingerprint")).toString());

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
    EXPECT_EQ(QJsonDocument::fromJson(run.output)[u"hookSpecificOutput"][u"decision"][u"behavior"].toString(),
              QStringLiteral("allow"))
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
