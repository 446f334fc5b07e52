#pragma once

#include "model/error.h"
#include "relay/secret_backend.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

#include <qcoro/qcorotask.h>

namespace idlewyn {

// A failed keychain call, carrying the status of the call that failed. Its
// description is the platform's own words for the failure where it has some,
// else "Keychain error " and the status. Two errors are equal when their
// statuses are: the words only describe the status.
class KeychainError : public Error {
public:
    explicit KeychainError(qint32 status, const QString& platformMessage = {});

    qint32 status() const noexcept { return m_status; }

    bool operator==(const KeychainError& other) const noexcept { return m_status == other.m_status; }

private:
    qint32 m_status;
};

// One group of secret items, named by service, optionally in an access group
// shared by the app and its extensions.
//
// With an access group every call is made with the group first; if that call
// answers missingEntitlement (a build without the entitlement) it is made once
// more without the group, and that second answer is the one that counts.
class KeychainStore {
public:
    explicit KeychainStore(QString service, std::optional<QString> accessGroup = std::nullopt,
                           std::shared_ptr<SecretBackend> backend = SecretBackend::platform());

    const QString& service() const { return m_service; }
    const std::optional<QString>& accessGroup() const { return m_accessGroup; }
    const std::shared_ptr<SecretBackend>& backend() const { return m_backend; }

    // No value when there is no such item. Throws KeychainError.
    QCoro::Task<std::optional<QByteArray>> data(QString account) const;
    // Replaces the item's bytes, or adds the item. Throws KeychainError.
    QCoro::Task<> set(QByteArray data, QString account) const;
    // Removing an item that is not there succeeds. Throws KeychainError.
    QCoro::Task<> removeValue(QString account) const;

    bool operator==(const KeychainStore&) const = default;

private:
    QString m_service;
    std::optional<QString> m_accessGroup;
    std::shared_ptr<SecretBackend> m_backend;
};

} // namespace idlewyn
