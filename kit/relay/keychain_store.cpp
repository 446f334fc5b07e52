#include "relay/keychain_store.h"

#include <utility>

namespace idlewyn {

namespace {

enum class Operation { read, write, remove };

// The operations are coroutines of their own, taking copies, so that a store
// may go away while one of its calls is still waiting for the service.

QCoro::Task<SecretResult> call(SecretBackend& backend, Operation operation, const SecretQuery& query,
                               const QByteArray& data)
{
    switch (operation) {
    case Operation::read:
        return backend.read(query);
    case Operation::write:
        return backend.write(query, data);
    case Operation::remove:
        break;
    }
    return backend.remove(query);
}

QCoro::Task<SecretResult> perform(std::shared_ptr<SecretBackend> backend, Operation operation, SecretQuery query,
                                  QByteArray data = {})
{
    if (query.accessGroup) {
        SecretResult result = co_await call(*backend, operation, query, data);
        if (result.status != KeychainStatus::missingEntitlement) {
            co_return result;
        }
        query.accessGroup.reset();
    }
    co_return co_await call(*backend, operation, query, data);
}

QCoro::Task<std::optional<QByteArray>> readItem(std::shared_ptr<SecretBackend> backend, SecretQuery query)
{
    const SecretResult result = co_await perform(std::move(backend), Operation::read, std::move(query));
    if (result.status == KeychainStatus::itemNotFound) {
        co_return std::nullopt;
    }
    if (result.status != KeychainStatus::success) {
        throw KeychainError(result.status, result.message);
    }
    co_return result.data;
}

QCoro::Task<> writeItem(std::shared_ptr<SecretBackend> backend, SecretQuery query, QByteArray data)
{
    const SecretResult result =
        co_await perform(std::move(backend), Operation::write, std::move(query), std::move(data));
    if (result.status != KeychainStatus::success) {
        throw KeychainError(result.status, result.message);
    }
}

QCoro::Task<> removeItem(std::shared_ptr<SecretBackend> backend, SecretQuery query)
{
    const SecretResult result = co_await perform(std::move(backend), Operation::remove, std::move(query));
    if (result.status != KeychainStatus::success && result.status != KeychainStatus::itemNotFound) {
        throw KeychainError(result.status, result.message);
    }
}

} // namespace

KeychainError::KeychainError(qint32 status, const QString& platformMessage)
    : Error(platformMessage.isEmpty() ? QStringLiteral("Keychain error %1").arg(status) : platformMessage)
    , m_status(status)
{
}

KeychainStore::KeychainStore(QString service, std::optional<QString> accessGroup,
                             std::shared_ptr<SecretBackend> backend)
    : m_service(std::move(service))
    , m_accessGroup(std::move(accessGroup))
    , m_backend(std::move(backend))
{
}

QCoro::Task<std::optional<QByteArray>> KeychainStore::data(QString account) const
{
    return readItem(m_backend, SecretQuery{m_service, std::move(account), m_accessGroup});
}

QCoro::Task<> KeychainStore::set(QByteArray data, QString account) const
{
    return writeItem(m_backend, SecretQuery{m_service, std::move(account), m_accessGroup}, std::move(data));
}

QCoro::Task<> KeychainStore::removeValue(QString account) const
{
    return removeItem(m_backend, SecretQuery{m_service, std::move(account), m_accessGroup});
}

} // namespace idlewyn
