#pragma once

#include "relay/secret_backend.h"

#include <QHash>
#include <QList>
#include <utility>

namespace idlewyn::testing {

// A secret service held in memory, for tests. Like the platform
// backend it keeps one item per service and account, whatever the group. It
// can play a build without the access-group entitlement and a failing
// service, and it records every call it answers.
class InMemorySecretBackend final : public SecretBackend {
public:
    enum class Operation { read, write, remove };

    struct Call {
        Operation operation;
        SecretQuery query;

        bool operator==(const Call&) const = default;
    };

    QCoro::Task<SecretResult> read(SecretQuery query) override;
    QCoro::Task<SecretResult> write(SecretQuery query, QByteArray data) override;
    // A missing item answers itemNotFound, as the Apple keychain does.
    QCoro::Task<SecretResult> remove(SecretQuery query) override;

    // Calls that name an access group answer missingEntitlement.
    void setRefusesAccessGroups(bool refuses) { m_refusesAccessGroups = refuses; }
    // Every call not refused for its group fails with this status and message;
    // success (0) restores normal answers.
    void setFailure(qint32 status, QString message = {})
    {
        m_failureStatus = status;
        m_failureMessage = std::move(message);
    }

    const QList<Call>& calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }
    std::optional<QByteArray> item(const QString& service, const QString& account) const;

private:
    std::optional<SecretResult> refusal(Operation operation, const SecretQuery& query);

    QHash<std::pair<QString, QString>, QByteArray> m_items;
    QList<Call> m_calls;
    bool m_refusesAccessGroups = false;
    qint32 m_failureStatus = KeychainStatus::success;
    QString m_failureMessage;
};

} // namespace idlewyn::testing
