#include "model/agent_provider.h"
#include "model/permission_prompt.h"
#include "model/session_status.h"

#include <gtest/gtest.h>

using namespace idlewyn;

namespace {

template <class T>
std::optional<DecodingError::Kind> failureKind(const char* text)
{
    try {
        json::relay.decode<T>(QByteArray(text));
    } catch (const DecodingError& error) {
        return error.kind();
    }
    return std::nullopt;
}

} // namespace

TEST(SessionStatusTest, UnknownWordsDecodeAsIdleButAreNoRawValue)
{
    for (const char* word : {"waiting_for_input", "Working", "", "paused"}) {
        const QByteArray json = QByteArray("\"") + word + "\"";
        EXPECT_EQ(json::relay.decode<SessionStatus>(json), SessionStatus::idle) << word;
        EXPECT_FALSE(sessionStatusFromRawValue(QString::fromUtf8(word)).has_value()) << word;
    }
}

// Every case reads back as itself; an unknown provider or decision, or a
// status that is not a word, is refused with its kind.
TEST(VocabularyTest, EveryCaseRoundTripsAndOtherValuesFailTyped)
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
    using Kind = DecodingError::Kind;
    EXPECT_EQ(failureKind<SessionStatus>("3"), Kind::typeMismatch);
    EXPECT_EQ(failureKind<AgentProvider>("\"Claude\""), Kind::dataCorrupted) << "providers are case-sensitive";
    EXPECT_FALSE(agentProviderFromRawValue(QStringLiteral("Claude")).has_value());
    EXPECT_EQ(failureKind<PermissionDecision>("\"maybe\""), Kind::dataCorrupted);
}
