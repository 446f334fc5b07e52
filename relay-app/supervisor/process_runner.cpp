#include "supervisor/process_runner.h"

#include <QProcess>

#include <qcoro/qcoroprocess.h>

namespace vesperline {

namespace {

// Suspends until the process has left the Starting state, either to Running
// or, when it cannot be executed, straight back to NotRunning. Waiting for
// `started` instead would hang: Qt never emits it for a failed start.
class LeftStarting {
public:
    explicit LeftStarting(QProcess& process)
        : m_process(process)
    {
    }

    bool await_ready() const noexcept { return m_process.state() != QProcess::Starting; }

    void await_suspend(std::coroutine_handle<> waiting)
    {
        m_connection = QObject::connect(&m_process, &QProcess::stateChanged, &m_process,
                                        [this, waiting](QProcess::ProcessState state) {
                                            if (state == QProcess::Starting) {
                                                return;
                                            }
                                            QObject::disconnect(m_connection);
                                            // Resume outside QProcess's own signal emission: the
                                            // coroutine may end and destroy the process.
                                            QMetaObject::invokeMethod(
                                                &m_process, [waiting] { waiting.resume(); }, Qt::QueuedConnection);
                                        });
    }

    void await_resume() const noexcept { }

private:
    QProcess& m_process;
    QMetaObject::Connection m_connection;
};

} // namespace

QCoro::Task<ProcessResult> runProcess(QString program, QStringList arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProgram(program);
    process.setArguments(arguments);
    process.start(QIODevice::ReadOnly);

    co_await LeftStarting(process);
    if (process.error() == QProcess::FailedToStart) {
        throw ProcessLaunchError(process.errorString());
    }
    if (process.state() != QProcess::NotRunning) {
        co_await qCoro(process).waitForFinished(-1);
    }

    ProcessResult result;
    result.output = QString::fromUtf8(process.readAll());
    result.exitStatus = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    co_return result;
}

} // namespace vesperline
