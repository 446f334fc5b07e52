#include "model/agent_provider.h"
#include "model/permission_prompt.h"
#include "model/session_status.h"

#include <gtest/gtest.h>

using namespace idlewyn;

TEST(SessionStatusTest, UnknownWordsDecodeAsIdleButAreNoRawValue)
{
    for (const char* word : {"waiting_for_input", "Working", "", "paused"}) {
        const QByteArray json = QByteArray("\"") + word + "\"";
        EXPECT_EQ(json::relay.decode<SessionStatus>(json), SessionStatus::idle) << word;
        EXPECT_FALSE(sessionStatusFromRawValue(QString::fromUtf8(word)).has_value()) << word;
    }
}

TEST(SessionStatusTest, NonStringStatusFailsWithTypeMismatch)
{
    try {
        json::relay.decode<SessionStatus>(QByteArray("3"));
        FAIL() << "a number is not a status";
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.kind(), DecodingError::Kind::typeMismatch);
    }
}

TEST(AgentProviderTest, DecodingIsCaseSensitiveAndFailsAsCorruptData)
{
    EXPECT_EQ(json::relay.decode<AgentProvider>(QByteArray("\"codex\"")), AgentProvider::codex);
    try {
        json::relay.decode<AgentProvider>(QByteArray("\"Claude\""));
        FAIL() << "\"Claude\" is not a provider";
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.kind(), DecodingError::Kind::dataCorrupted);
    }
    EXPECT_FALSE(agentProviderFromRawValue(QStringLiteral("Claude")).has_value());
}

TEST(VocabularyRoundTripTest, EveryCaseEncodesAndDecodesToItself)
{
    for (AgentProvider provider : AgentProviders::allCases()) {
        EXPECT_EQ(json::relay.decode<AgentProvider>(json::relay.encode(provider)), provider);
    }
    for (SessionStatus status : SessionStatuses::allCases()) {
        EXPECT_EQ(json::relay.decode<SessionStatus>(json::relay.encode(status)), status);
    }
    for (auto decision : {PermissionDecision::allow, PermissionDecision::deny, PermissionDecision::always}) {
        EXPECT_EQ(json::relay.decode<PermissionDecision>(json::relay.encode(decision)), decision);
    }
    EXPECT_THROW(json::relay.decode<PermissionDecision>(QByteArray("\"maybe\"")), DecodingError);
}
