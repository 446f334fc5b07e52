#include "relay/qt_keychain_backend.h"

#include <QCoreApplication>
#include <QThread>

#include <qcoro/qcorosignal.h>
#include <qt6keychain/keychain.h>

namespace idlewyn {

namespace {

qint32 statusOf(QKeychain::Error error)
{
    switch (error) {
    case QKeychain::NoError:
        return KeychainStatus::success;
    case QKeychain::EntryNotFound:
        return KeychainStatus::itemNotFound;
    case QKeychain::AccessDeniedByUser:
        return KeychainStatus::userCanceled;
    case QKeychain::AccessDenied:
        return KeychainStatus::interactionNotAllowed;
    case QKeychain::NoBackendAvailable:
        return KeychainStatus::notAvailable;
    case QKeychain::NotImplemented:
        return KeychainStatus::unimplemented;
    case QKeychain::CouldNotDeleteEntry:
    case QKeychain::OtherError:
        break;
    }
    return KeychainStatus::internalComponent;
}

// A job must outlive its work: qtkeychain's callbacks into the Secret Service
// hold raw pointers to it, so a job is never deleted while it runs. One that
// finished is released at once; one that timed out deletes itself whenever it
// does finish, and the application reclaims one that never does.
class JobHandle {
public:
    explicit JobHandle(QKeychain::Job* job)
        : m_job(job)
    {
        m_job->setAutoDelete(false);
        QCoreApplication* app = QCoreApplication::instance();
        if (app && app->thread() == QThread::currentThread()) {
            m_job->setParent(app);
        }
    }
    JobHandle(const JobHandle&) = delete;
    JobHandle& operator=(const JobHandle&) = delete;

    ~JobHandle()
    {
        if (m_finished) {
            m_job->deleteLater();
        } else {
            m_job->setAutoDelete(true);
        }
    }

    QKeychain::Job* get() const { return m_job; }
    void markFinished() { m_finished = true; }

private:
    QKeychain::Job* m_job;
    bool m_finished = false;
};

} // namespace

QtKeychainBackend::QtKeychainBackend(std::chrono::milliseconds timeout)
    : m_timeout(timeout)
{
}

QCoro::Task<SecretResult> QtKeychainBackend::read(SecretQuery query)
{
    return run(Kind::read, std::move(query), {}, m_timeout);
}

QCoro::Task<SecretResult> QtKeychainBackend::write(SecretQuery query, QByteArray data)
{
    return run(Kind::write, std::move(query), std::move(data), m_timeout);
}

QCoro::Task<SecretResult> QtKeychainBackend::remove(SecretQuery query)
{
    return run(Kind::remove, std::move(query), {}, m_timeout);
}

QCoro::Task<SecretResult> QtKeychainBackend::run(Kind kind, SecretQuery query, QByteArray data,
                                                 std::chrono::milliseconds timeout)
{
    // The access group is not part of the item here (see the header).
    QKeychain::Job* job = nullptr;
    switch (kind) {
    case Kind::read:
        job = new QKeychain::ReadPasswordJob(query.service);
        break;
    case Kind::write: {
        auto* writeJob = new QKeychain::WritePasswordJob(query.service);
        writeJob->setBinaryData(data);
        job = writeJob;
        break;
    }
    case Kind::remove:
        job = new QKeychain::DeletePasswordJob(query.service);
        break;
    }
    JobHandle handle(job);
    job->setKey(query.account);
    // Never fall back to a plain-text file: secrets stay in the secret service.
    job->setInsecureFallback(false);

    // start() only queues the job, so the signal cannot fire before we listen.
    job->start();
    const auto finished = co_await qCoro(job, &QKeychain::Job::finished, timeout);
    if (!finished) {
        co_return SecretResult{KeychainStatus::notAvailable, {}, QStringLiteral("The secret service did not answer.")};
    }
    handle.markFinished();

    SecretResult result;
    result.status = statusOf(job->error());
    if (result.status != KeychainStatus::success) {
        result.message = job->errorString();
    } else if (kind == Kind::read) {
        result.data = static_cast<QKeychain::ReadPasswordJob*>(job)->binaryData();
    }
    co_return result;
}

} // namespace idlewyn
