#include "relay/connection_store.h"

#include "model/snapshot_store.h"

#include <utility>

namespace idlewyn {

namespace {

const QString account = QStringLiteral("connections");

// Coroutines over a copy of the keychain store, so that a temporary
// ConnectionStore may end before its call does.

QCoro::Task<QList<Connection>> loadFrom(KeychainStore keychain, bool reportKeychainFailure)
{
    std::optional<QByteArray> data;
    try {
        data = co_await keychain.data(account);
    } catch (const KeychainError&) {
        if (reportKeychainFailure) {
            throw;
        }
        co_return QList<Connection>{};
    }
    if (!data) {
        co_return QList<Connection>{};
    }
    try {
        co_return json::plain.decode<QList<Connection>>(*data);
    } catch (const DecodingError&) {
        co_return QList<Connection>{};
    }
}

QCoro::Task<> saveTo(KeychainStore keychain, QList<Connection> connections)
{
    if (connections.isEmpty()) {
        co_await keychain.removeValue(account);
        co_return;
    }
    QByteArray data = json::plain.encode(connections);
    co_await keychain.set(std::move(data), account);
}

} // namespace

ConnectionStore::ConnectionStore(KeychainStore keychain)
    : m_keychain(std::move(keychain))
{
}

const ConnectionStore& ConnectionStore::shared()
{
    static const ConnectionStore store{
        KeychainStore(QStringLiteral("io.zembrix.idlewyn.connections"), AppGroup::identifier)};
    return store;
}

QCoro::Task<QList<Connection>> ConnectionStore::load() const
{
    return loadFrom(m_keychain, false);
}

QCoro::Task<QList<Connection>> ConnectionStore::loadForChange() const
{
    return loadFrom(m_keychain, true);
}

QCoro::Task<> ConnectionStore::save(QList<Connection> connections) const
{
    return saveTo(m_keychain, std::move(connections));
}

} // namespace idlewyn
