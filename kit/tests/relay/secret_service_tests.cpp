// The secret store against a real Secret Service: gnome-keyring on a private
// D-Bus session, started for each test process by with-secret-service.sh.
#include "relay/connection_store.h"
#include "relay/keychain_store.h"

#include "support/outcome.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>

using namespace idlewyn;
using idlewyn::testing::blockingWait;

namespace {

const QString service = QStringLiteral("io.zembrix.idlewyn.tests");
const KeychainStore store(service);
const KeychainStore connectionsItem(QStringLiteral("io.zembrix.idlewyn.connections"));
const QString connections = QStringLiteral("connections");

QList<Connection> load()
{
    return blockingWait(ConnectionStore::shared().load());
}

void save(const QList<Connection>& list)
{
    blockingWait(ConnectionStore::shared().save(list));
}

// How many items the Secret Service itself holds for a service and account,
// asked over D-Bus rather than through the code under test.
qsizetype itemsStored(const QString& onService, const QString& account)
{
    qDBusRegisterMetaType<QMap<QString, QString>>();
    QDBusMessage search = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("SearchItems"));
    search << QVariant::fromValue(
        QMap<QString, QString>{{QStringLiteral("server"), onService}, {QStringLiteral("user"), account}});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(search);
    qsizetype count = reply.type() == QDBusMessage::ReplyMessage ? 0 : -1;
    for (const QVariant& paths : reply.arguments()) { // unlocked, then locked items
        count += qdbus_cast<QList<QDBusObjectPath>>(paths).size();
    }
    return count;
}

// Dates on both sides of the 2001 reference date, to the millisecond.
const QList<Connection> someConnections{
    Connection{AgentProvider::claude, QUrl(QStringLiteral("https://192.168.1.20:8787/relay")),
               QStringLiteral("tok-claude"), QStringLiteral("Pixel"),
               QDateTime(QDate(2026, 3, 1), QTime(9, 15, 27, 123), Qt::UTC), QString(64, u'e')},
    Connection{AgentProvider::codex, QUrl(QStringLiteral("http://127.0.0.1:8787")), QStringLiteral("tok-codex"),
               QStringLiteral("Pixel"), QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC), std::nullopt},
};

class SecretServiceTest : public ::testing::Test {
protected:
    // A service that cannot store anything may still answer "not found" to
    // a read; only a round trip proves it usable, so no test passes vacuously.
    static void SetUpTestSuite()
    {
        try {
            blockingWait(store.set("probe", QStringLiteral("probe")));
            if (blockingWait(store.data(QStringLiteral("probe"))) != QByteArray("probe")) {
                unusable = QStringLiteral("the probe item did not read back");
            }
            blockingWait(store.removeValue(QStringLiteral("probe")));
        } catch (const KeychainError& error) {
            unusable = error.description();
        }
    }

    void SetUp() override
    {
        ASSERT_FALSE(unusable) << "no usable Secret Service: " << unusable->toStdString();
        // CTest gives each test its own keyring; a whole-binary run shares one.
        blockingWait(connectionsItem.removeValue(connections));
    }

    static inline std::optional<QString> unusable;
};

} // namespace

TEST_F(SecretServiceTest, SetReplacesTheOneItemAndRemoveToleratesAMissingOne)
{
    const QString account = QStringLiteral("token");
    EXPECT_EQ(blockingWait(store.data(account)), std::nullopt);

    const QByteArray binary("\x00\xff\x01 not text\n", 13);
    blockingWait(store.set(binary, account));
    EXPECT_EQ(blockingWait(store.data(account)), binary);

    blockingWait(store.set("second", account));
    EXPECT_EQ(blockingWait(store.data(account)), QByteArray("second"));
    EXPECT_EQ(itemsStored(service, account), 1) << "an update, not a second item";
    EXPECT_EQ(blockingWait(store.data(QStringLiteral("other"))), std::nullopt);
    EXPECT_EQ(blockingWait(KeychainStore(service + QStringLiteral(".other")).data(account)), std::nullopt);

    blockingWait(store.removeValue(account));
    EXPECT_EQ(itemsStored(service, account), 0);
    EXPECT_NO_THROW(blockingWait(store.removeValue(account)));
}

TEST_F(SecretServiceTest, ConnectionsRoundTripAndAnEmptyListRemovesTheItem)
{
    EXPECT_EQ(load(), QList<Connection>{});

    save(someConnections);
    EXPECT_EQ(load(), someConnections);
    // The group takes no part in the item here: the same item, with or without it.
    EXPECT_EQ(blockingWait(connectionsItem.data(connections)), json::plain.encode(someConnections));

    save({someConnections.at(1)});
    EXPECT_EQ(load(), QList<Connection>{someConnections.at(1)});
    EXPECT_EQ(itemsStored(connectionsItem.service(), connections), 1);

    save({});
    EXPECT_EQ(itemsStored(connectionsItem.service(), connections), 0);
}

TEST_F(SecretServiceTest, UndecodableBytesLoadEmptyAndStayUntilTheNextSave)
{
    const QList<QByteArray> undecodable{
        "not json",
        R"([{"provider":"gemini","accessToken":"t","accountName":"a","connectedAt":1}])",
    };
    for (const QByteArray& bytes : undecodable) {
        blockingWait(connectionsItem.set(bytes, connections));
        EXPECT_EQ(load(), QList<Connection>{}) << bytes.toStdString();
        EXPECT_EQ(blockingWait(connectionsItem.data(connections)), bytes) << "loading leaves the bad item alone";
    }

    save(someConnections);
    EXPECT_EQ(load(), someConnections);
}
