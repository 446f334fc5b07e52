#include "model/agent_session.h"
#include "model/json_coding.h"

#include <gtest/gtest.h>

#include <QTimeZone>

using namespace idlewyn;

namespace {

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

QByteArray sessionJson(const QString& extra = {})
{
    return (QStringLiteral(R"({"id":"s1","provider":"claude","title":"Fix login","status":"working",)"
                           R"("startedAt":"2026-03-01T09:15:27.123Z","updatedAt":"2026-03-01T09:16:00Z")")
            + extra + QStringLiteral("}"))
        .toUtf8();
}

DecodingError decodeError(const QByteArray& json)
{
    try {
        json::relay.decode<AgentSession>(json);
    } catch (const DecodingError& error) {
        return error;
    }
    ADD_FAILURE() << "decoding succeeded: " << json.constData();
    return DecodingError(DecodingError::Kind::dataCorrupted, {}, {});
}

} // namespace

TEST(RelayDatesTest, AZoneIsNeededAndAnythingElseFailsWithTheInputInTheDescription)
{
    const std::pair<const char*, QDateTime> accepted[] = {
        {"2026-03-01T09:15:27.123Z", utc(2026, 3, 1, 9, 15, 27, 123)},
        {"2026-03-01T09:15:27Z", utc(2026, 3, 1, 9, 15, 27)},
        {"2026-03-01T10:15:27+01:00", utc(2026, 3, 1, 9, 15, 27)},
    };
    for (const auto& [text, instant] : accepted) {
        EXPECT_EQ(json::relay.decode<QDateTime>(QByteArray("\"") + text + "\""), instant) << text;
    }
    const char* bad[] = {
        "2026-03-01 09:15:27Z",  "2026-03-01T09:15:27", "2026-02-30T09:15:27Z", "2026-03-01T24:00:00Z", "2026-03-01",
        "2026-03-01T09:15:27.Z", "yesterday",           " 2026-03-01T09:15:27Z"};
    for (const char* text : bad) {
        try {
            json::relay.decode<QDateTime>(QByteArray("\"") + text + "\"");
            ADD_FAILURE() << "accepted " << text;
        } catch (const DecodingError& error) {
            EXPECT_EQ(error.kind(), DecodingError::Kind::dataCorrupted) << text;
            EXPECT_EQ(error.description(), QStringLiteral("Invalid ISO-8601 date: ") + QString::fromUtf8(text));
        }
    }
}

TEST(RelayDatesTest, EncodingIsUtcWithThreeDigitMillisecondsAndZ)
{
    const QDateTime local = QDateTime(QDate(2026, 3, 1), QTime(10, 15, 27, 5), QTimeZone(3600));
    EXPECT_EQ(json::relay.encode(local), QByteArray("\"2026-03-01T09:15:27.005Z\""));
    EXPECT_EQ(json::formatISO8601(QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC)),
              QStringLiteral("0001-01-01T00:00:00.000Z"));
}

// Each coding reads back exactly what it writes: a date that decodes must
// encode to text that decodes to the same instant, or a saved snapshot (or
// stored connection) that once loaded stops loading. Offsets push a four-digit
// local year across 0001 and 9999 in UTC, where the written form would need a
// fifth digit or a sign.
TEST(RelayDatesTest, EveryAcceptedDateWritesBackToTheSameInstant)
{
    const QStringList dates = {QStringLiteral("0000-01-01T00:00:00"),     QStringLiteral("0000-12-31T23:59:59.999"),
                               QStringLiteral("0001-01-01T00:00:00"),     QStringLiteral("0001-01-01T00:30:00"),
                               QStringLiteral("2026-03-01T09:15:27.123"), QStringLiteral("9999-12-31T00:00:00"),
                               QStringLiteral("9999-12-31T23:59:59.999")};
    const QStringList zones = {QStringLiteral("Z"), QStringLiteral("+23:59"), QStringLiteral("-23:59"),
                               QStringLiteral("+01:00"), QStringLiteral("-0100")};
    int accepted = 0;
    for (const QString& date : dates) {
        for (const QString& zone : zones) {
            const QByteArray text = ("\"" + date + zone + "\"").toUtf8();
            QDateTime decoded;
            try {
                decoded = json::relay.decode<QDateTime>(text);
            } catch (const DecodingError& error) {
                EXPECT_EQ(error.description(), QStringLiteral("Invalid ISO-8601 date: ") + date + zone);
                continue;
            }
            ++accepted;
            const QByteArray written = json::relay.encode(decoded);
            EXPECT_EQ(json::relay.decode<QDateTime>(written), decoded)
                << text.constData() << " -> " << written.constData();
            EXPECT_EQ(json::plain.decode<QDateTime>(json::plain.encode(decoded)), decoded) << text.constData();
        }
    }
    EXPECT_GT(accepted, 20);

    // The first and last instants that fit, and their neighbours outside.
    EXPECT_EQ(json::relay.decode<QDateTime>(QByteArray("\"0000-12-31T23:00:00-01:00\"")), utc(1, 1, 1, 0, 0, 0));
    EXPECT_THROW(json::relay.decode<QDateTime>(QByteArray("\"0000-12-31T23:59:59.999Z\"")), DecodingError);
    EXPECT_EQ(json::relay.decode<QDateTime>(QByteArray("\"9999-12-31T23:59:59.999Z\"")),
              utc(9999, 12, 31, 23, 59, 59, 999));
    EXPECT_THROW(json::relay.decode<QDateTime>(QByteArray("\"9999-12-31T23:59:59-23:59\"")), DecodingError);
    EXPECT_THROW(json::relay.decode<QDateTime>(QByteArray("\"0000-01-01T00:00:00+23:59\"")), DecodingError);
}

// Seconds since 2001 come from the secret store, which anything may have
// written: a number far outside the calendar is corrupted data, not a date.
TEST(RelayDatesTest, PlainDatesOutsideTheWritableYearsAreCorruptedData)
{
    const qint64 first = utc(1, 1, 1, 0, 0, 0).toSecsSinceEpoch() - 978307200;
    const qint64 afterLast = utc(9999, 12, 31, 23, 59, 59).toSecsSinceEpoch() + 1 - 978307200;
    EXPECT_EQ(json::plain.decode<QDateTime>(QByteArray::number(first)), utc(1, 1, 1, 0, 0, 0));
    EXPECT_EQ(json::plain.decode<QDateTime>(QByteArray::number(afterLast - 1) + ".999"),
              utc(9999, 12, 31, 23, 59, 59, 999));

    const QByteArray outside[] = {"1e300",
                                  "-1e300",
                                  "9.3e15",
                                  QByteArray::number(first) + ".001",
                                  QByteArray::number(first - 1),
                                  QByteArray::number(afterLast)};
    for (const QByteArray& number : outside) {
        try {
            json::plain.decode<QDateTime>(number);
            ADD_FAILURE() << "accepted " << number.constData();
        } catch (const DecodingError& error) {
            EXPECT_EQ(error.kind(), DecodingError::Kind::dataCorrupted) << number.constData();
        }
    }
    for (double value : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_THROW(json::plain.decode<QDateTime>(QJsonValue(value)), DecodingError) << value;
    }
}

// Neither coding writes what it could not read back.
TEST(RelayDatesTest, DatesOutsideTheWritableYearsAndNaNsFailToEncode)
{
    const QDateTime tooLate = utc(9999, 12, 31, 23, 59, 59, 999).addMSecs(1);
    const QDateTime tooEarly = utc(1, 1, 1, 0, 0, 0).addMSecs(-1);
    for (const json::Coder& coder : {json::relay, json::plain}) {
        EXPECT_THROW(coder.encode(tooLate), EncodingError);
        EXPECT_THROW(coder.encode(tooEarly), EncodingError);
        EXPECT_THROW(coder.encode(QDateTime()), EncodingError);
    }
    EXPECT_THROW(json::relay.encode(std::numeric_limits<double>::quiet_NaN()), EncodingError) << "nor a NaN";
}

// A URL is written as its fully encoded text, and that text must read as the
// same URL again; Qt's strict parser lets through a few texts (a second "#"
// in a fragment) whose written form reads as another URL.
TEST(UrlCodingTest, AUrlDecodesOnlyWhenItsWrittenFormReadsBackTheSame)
{
    const char* accepted[] = {"https://relay.local:8443/base",
                              "http://[::1]:8787/",
                              "HTTP://Relay.Local:8787/a%20b/~c?q=a%26b&r=%2F#frag",
                              "http://b\u00fccher.example/",
                              "http://xn--bcher-kva.example/",
                              "https://user:pw@192.0.2.1:8787/p%25q",
                              "http://127.0.0.1:8787/a/%7Eb"};
    for (const char* text : accepted) {
        const QUrl url = json::plain.decode<QUrl>(QByteArray("\"") + text + "\"");
        EXPECT_EQ(json::plain.decode<QUrl>(json::plain.encode(url)), url) << text;
    }
    const char* refused[] = {"http://relay.local/#a#b", "htt/127.##0.0.1:8787/", "", "http://a b/"};
    for (const char* text : refused) {
        try {
            json::plain.decode<QUrl>(QByteArray("\"") + text + "\"");
            ADD_FAILURE() << "accepted " << text;
        } catch (const DecodingError& error) {
            EXPECT_EQ(error.description(), QStringLiteral("Invalid URL string.")) << text;
        }
    }
}

TEST(AgentSessionCodingTest, RoundTripKeepsWholeMillisecondRecords)
{
    AgentSession session{QStringLiteral("s1"),
                         AgentProvider::codex,
                         QStringLiteral("Title"),
                         QStringLiteral("/home/dev/app"),
                         SessionStatus::waitingForInput,
                         utc(2026, 3, 1, 9, 0, 0, 1),
                         utc(2026, 3, 1, 9, 5, 0, 999),
                         QStringLiteral("Allow Bash?"),
                         PermissionPrompt{QStringLiteral("p1"), QStringLiteral("Bash"), QStringLiteral("ls"),
                                          utc(2026, 3, 1, 9, 4, 0), QStringLiteral("Bash(ls)")},
                         QStringLiteral("Bash: ls"),
                         utc(2026, 3, 1, 9, 1, 0),
                         2,
                         5};
    EXPECT_EQ(json::relay.decode<AgentSession>(json::relay.encode(session)), session);

    AgentSession finer = session;
    finer.workingDirectory.reset();
    finer.permission.reset();
    const QByteArray bytes = json::relay.encode(finer);
    EXPECT_FALSE(bytes.contains("workingDirectory")) << "absent optionals are left out";
    EXPECT_FALSE(bytes.contains("null"));
    EXPECT_EQ(json::relay.decode<AgentSession>(bytes), finer);
}

TEST(AgentSessionCodingTest, ExtraKeysAreIgnoredAndNullOptionalsReadAsAbsent)
{
    const auto session = json::relay.decode<AgentSession>(
        sessionJson(QStringLiteral(R"(,"summary":null,"permission":null,"future":{"x":1})")));
    EXPECT_FALSE(session.summary.has_value());
    EXPECT_FALSE(session.permission.has_value());
    EXPECT_EQ(session.startedAt, utc(2026, 3, 1, 9, 15, 27, 123));
}

TEST(AgentSessionCodingTest, FailuresAreTypedWithTheCodingPath)
{
    using Kind = DecodingError::Kind;
    struct Row {
        const char* what;
        QByteArray json;
        Kind kind;
        QStringList path;
    };
    const Row rows[] = {
        {"a missing key", R"({"id":"s1","provider":"claude","status":"working"})", Kind::keyNotFound, {}},
        {"a string for a number", sessionJson(R"(,"taskDone":"two")"), Kind::typeMismatch, {"taskDone"}},
        {"a fraction for an integer", sessionJson(R"(,"taskTotal":2.5)"), Kind::dataCorrupted, {"taskTotal"}},
        {"an unknown provider", sessionJson().replace("claude", "gemini"), Kind::dataCorrupted, {"provider"}},
        {"null for a required key", sessionJson().replace("\"Fix login\"", "null"), Kind::typeMismatch, {"title"}},
        {"a nested bad date",
         sessionJson(R"(,"permission":{"id":"p","toolName":"Bash","detail":"ls","createdAt":"2026-03-01 09:00:00Z"})"),
         Kind::dataCorrupted,
         {"permission", "createdAt"}},
        {"not JSON", "{not json", Kind::dataCorrupted, {}},
    };
    for (const Row& row : rows) {
        const DecodingError error = decodeError(row.json);
        EXPECT_EQ(error.kind(), row.kind) << row.what;
        EXPECT_EQ(error.codingPath(), row.path) << row.what;
    }
    EXPECT_TRUE(decodeError(rows[0].json).description().contains(QStringLiteral("title")));
}

TEST(AgentSessionCodingTest, AListFailsAsAWholeWhenOneElementFails)
{
    const QByteArray good = sessionJson();
    const QByteArray bad = sessionJson().replace("\"working\"", "7");
    EXPECT_EQ(json::relay.decode<QList<AgentSession>>("[" + good + "," + good + "]").size(), 2);
    try {
        json::relay.decode<QList<AgentSession>>("[" + good + "," + bad + "]");
        FAIL() << "one bad element must fail the list";
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.codingPath(), (QStringList{QStringLiteral("Index 1"), QStringLiteral("status")}));
    }
}
