#include "supervisor/process_runner.h"

#include <QProcess>

#include <qcoro/qcoroprocess.h>
#include <qcoro/qcorosignal.h>

namespace vesperline {

QCoro::Task<ProcessResult> runProcess(QString program, QStringList arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProgram(program);
    process.setArguments(arguments);
    process.start(QIODevice::ReadOnly);

    // Waiting for `started` would hang until a timeout when the program
    // cannot be executed: Qt never emits it then. The state always leaves
    // Starting, either to Running or straight back to NotRunning.
    while (process.state() == QProcess::Starting) {
        co_await qCoro(&process, &QProcess::stateChanged);
    }
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
