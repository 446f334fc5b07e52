#include "support/in_memory_secret_backend.h"

namespace idlewyn::testing {

std::optional<SecretResult> InMemorySecretBackend::refusal(Operation operation, const SecretQuery& query)
{
    m_calls.append(Call{operation, query});
    if (m_refusesAccessGroups && query.accessGroup) {
        return SecretResult{KeychainStatus::missingEntitlement, {}, {}};
    }
    if (m_failureStatus != KeychainStatus::success) {
        return SecretResult{m_failureStatus, {}, m_failureMessage};
    }
    return std::nullopt;
}

QCoro::Task<SecretResult> InMemorySecretBackend::read(SecretQuery query)
{
    if (auto refused = refusal(Operation::read, query)) {
        co_return *refused;
    }
    const auto it = m_items.constFind({query.service, query.account});
    if (it == m_items.cend()) {
        co_return SecretResult{KeychainStatus::itemNotFound, {}, {}};
    }
    co_return SecretResult{KeychainStatus::success, *it, {}};
}

QCoro::Task<SecretResult> InMemorySecretBackend::write(SecretQuery query, QByteArray data)
{
    if (auto refused = refusal(Operation::write, query)) {
        co_return *refused;
    }
    m_items.insert({query.service, query.account}, data);
    co_return SecretResult{};
}

QCoro::Task<SecretResult> InMemorySecretBackend::remove(SecretQuery query)
{
    if (auto refused = refusal(Operation::remove, query)) {
        co_return *refused;
    }
    if (m_items.remove({query.service, query.account}) == 0) {
        co_return SecretResult{KeychainStatus::itemNotFound, {}, {}};
    }
    co_return SecretResult{};
}

std::optional<QByteArray> InMemorySecretBackend::item(const QString& service, const QString& account) const
{
    const auto it = m_items.constFind({service, account});
    if (it == m_items.cend()) {
        return std::nullopt;
    }
    return *it;
}

} // namespace idlewyn::testing
