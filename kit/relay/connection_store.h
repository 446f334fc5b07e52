#pragma once

#include "relay/connection.h"
#include "relay/keychain_store.h"

#include <QList>

#include <qcoro/qcorotask.h>

namespace idlewyn {

// The paired connections of this device: one keychain item (account
// "connections") whose bytes are the JSON array of all connections in plain
// coding, in the caller's order. Every save replaces the whole list; the last
// writer wins.
class ConnectionStore {
public:
    explicit ConnectionStore(KeychainStore keychain);

    // Service "io.zembrix.idlewyn.connections" in the application group's
    // access group: the item the app and its extensions share.
    static const ConnectionStore& shared();

    const KeychainStore& keychain() const { return m_keychain; }

    // Never fails: a keychain failure, a missing item and bytes that do not
    // decode all read as no connections. Undecodable bytes stay stored until
    // the next save replaces them.
    QCoro::Task<QList<Connection>> load() const;
    // For a caller that changes the list and saves it back: as load(), but a
    // keychain that cannot be read throws KeychainError instead of reading as
    // no connections, so that a save never replaces connections it could not
    // see. Bytes that do not decode still read as none: nothing is lost by
    // replacing them.
    QCoro::Task<QList<Connection>> loadForChange() const;
    // An empty list removes the item. Throws KeychainError, or EncodingError
    // for a connection that cannot be written (then nothing is stored).
    QCoro::Task<> save(QList<Connection> connections) const;

    bool operator==(const ConnectionStore&) const = default;

private:
    KeychainStore m_keychain;
};

} // namespace idlewyn
