#include "relay/connection.h"
#include "relay/pairing_link.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using namespace idlewyn;

namespace {

const QString pin64 = QStringLiteral("0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef");

std::optional<PairingLink> parse(const QString& text)
{
    return PairingLink::fromUrl(QUrl(text));
}

QString link(const QString& server, const QString& code, const QString& pin = {})
{
    QString text = QStringLiteral("idlewyn://pair?url=") + QString::fromUtf8(QUrl::toPercentEncoding(server))
        + QStringLiteral("&code=") + QString::fromUtf8(QUrl::toPercentEncoding(code));
    if (!pin.isNull()) {
        text += QStringLiteral("&pin=") + pin;
    }
    return text;
}

} // namespace

TEST(PairingLinkTest, AcceptsAHttpsLinkAndNormalisesItsPin)
{
    const QString colons =
        pin64.toUpper().replace(QRegularExpression(QStringLiteral("(..)(?!$)")), QStringLiteral("\\1:"));
    const auto parsed = parse(link(QStringLiteral("https://192.168.1.20:8787"), QStringLiteral("  482913\t"), colons));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->serverURL, QUrl(QStringLiteral("https://192.168.1.20:8787")));
    EXPECT_EQ(parsed->code, QStringLiteral("482913"));
    EXPECT_EQ(parsed->certificatePin, pin64);

    EXPECT_TRUE(parse(QStringLiteral("IDLEWYN://PAIR?url=https%3A%2F%2Fh%3A1&code=1&pin=") + pin64))
        << "scheme and host compare lower-cased";
}

TEST(PairingLinkTest, RefusesWrongShapesAndHttpsWithoutExactly64Digits)
{
    const QString https = QStringLiteral("https://h:1");
    const QString one = QStringLiteral("1");
    const QString refused[] = {
        link(https, one),
        link(https, one, pin64.left(63)),
        link(https, one, pin64 + u'a'),
        link(https, one, QStringLiteral("")),
        QStringLiteral("idlewyn://pair?URL=http%3A%2F%2Fh&code=1"), // names are case-sensitive
        QStringLiteral("idlewyn://other?url=http%3A%2F%2Fh&code=1"),
        QStringLiteral("https://pair?url=http%3A%2F%2Fh&code=1"),
        QStringLiteral("idlewyn://pair"),
        link(QStringLiteral("ftp://h"), one),
        link(QStringLiteral("http:///path-only"), one),
        link(QStringLiteral("http://h"), QStringLiteral("   ")),
        QStringLiteral("idlewyn://pair?url=http%3A%2F%2Fh&code"),
        QStringLiteral("idlewyn://pair?url&url=http%3A%2F%2Fh&code=1"), // only the first url counts
    };
    for (const QString& text : refused) {
        EXPECT_FALSE(parse(text)) << text.toStdString();
    }

    const auto plain = parse(link(QStringLiteral("http://127.0.0.1:8787"), QStringLiteral("1"), pin64));
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->certificatePin.has_value()) << "http drops the pin";
}

TEST(PairingLinkTest, FirstItemsWinAndOthersAreIgnored)
{
    const auto parsed = parse(QStringLiteral("idlewyn://pair/ignored?x=1&code=first&url=http%3A%2F%2Fa%3A1&code=second"
                                             "&url=http%3A%2F%2Fb%3A2#frag"));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->code, QStringLiteral("first"));
    EXPECT_EQ(parsed->serverURL.host(), QStringLiteral("a"));
}

TEST(ConnectionTest, DemoConnectionsAndIdentity)
{
    const Connection demo = Connection::demo(AgentProvider::claude);
    EXPECT_TRUE(demo.isDemo());
    EXPECT_EQ(demo.id(), AgentProvider::claude);
    Connection real = demo;
    real.serverURL = QUrl(QStringLiteral("http://127.0.0.1:8787"));
    EXPECT_FALSE(real.isDemo());
    EXPECT_EQ(real.id(), demo.id());
}

TEST(ConnectionTest, PlainJsonUsesAbsoluteUrlsAndReferenceDateSeconds)
{
    Connection connection{
        AgentProvider::codex,    QUrl(QStringLiteral("https://relay.local:8443/base")),       QStringLiteral("tok"),
        QStringLiteral("phone"), QDateTime(QDate(2001, 1, 1), QTime(0, 0, 10, 250), Qt::UTC), pin64};
    const QByteArray bytes = json::plain.encode(QList<Connection>{connection});
    const QJsonObject object = json::relay.parse(bytes).toArray().at(0).toObject();
    EXPECT_EQ(object.value(QStringLiteral("serverURL")).toString(), QStringLiteral("https://relay.local:8443/base"));
    EXPECT_DOUBLE_EQ(object.value(QStringLiteral("connectedAt")).toDouble(), 10.25);
    EXPECT_EQ(json::plain.decode<QList<Connection>>(bytes), QList<Connection>{connection});

    const auto decoded = json::plain.decode<Connection>(
        QByteArray(R"({"provider":"claude","serverURL":null,"accessToken":"a","accountName":"b","connectedAt":1})"));
    EXPECT_TRUE(decoded.isDemo());
    EXPECT_FALSE(decoded.certificatePin.has_value());
}
