#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <memory>
#include <optional>

#include <qcoro/qcorotask.h>

namespace idlewyn {

// Statuses of secret-store calls, numbered as the Apple keychain numbers them
// so that one vocabulary holds on every platform and the keychain logic above
// the backend (item-not-found, the access-group retry) reads the same
// everywhere.
namespace KeychainStatus {
inline constexpr qint32 success = 0;
inline constexpr qint32 unimplemented = -4;             // errSecUnimplemented
inline constexpr qint32 userCanceled = -128;            // errSecUserCanceled
inline constexpr qint32 internalComponent = -2070;      // errSecInternalComponent
inline constexpr qint32 notAvailable = -25291;          // errSecNotAvailable
inline constexpr qint32 itemNotFound = -25300;          // errSecItemNotFound
inline constexpr qint32 interactionNotAllowed = -25308; // errSecInteractionNotAllowed
inline constexpr qint32 missingEntitlement = -34018;    // errSecMissingEntitlement
} // namespace KeychainStatus

// Which item a call is about.
struct SecretQuery {
    QString service;
    QString account;
    std::optional<QString> accessGroup;

    bool operator==(const SecretQuery&) const = default;
};

struct SecretResult {
    qint32 status = KeychainStatus::success;
    // The item's bytes, for a successful read.
    QByteArray data;
    // How the platform put a failure in words; empty where it has no words.
    QString message;
};

// The seam between the keychain store and the platform's secret service.
// Calls report every outcome as a status, never by throwing: deciding what is
// a failure (a missing item is not, for a removal) belongs to the store.
class SecretBackend {
public:
    virtual ~SecretBackend();

    // success with the item's bytes, or itemNotFound.
    virtual QCoro::Task<SecretResult> read(SecretQuery query) = 0;
    // Replaces the bytes of an existing item, or adds the item.
    virtual QCoro::Task<SecretResult> write(SecretQuery query, QByteArray data) = 0;
    // A missing item may answer success or itemNotFound.
    virtual QCoro::Task<SecretResult> remove(SecretQuery query) = 0;

    // The platform's secret service (qtkeychain), one per process.
    static std::shared_ptr<SecretBackend> platform();
};

} // namespace idlewyn
