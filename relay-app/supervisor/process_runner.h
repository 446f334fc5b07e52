#pragma once

#include "model/error.h"

#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

namespace vesperline {

// What a finished program left behind: its exit status and everything it
// wrote to standard output and standard error, in the order it wrote it.
struct ProcessResult {
    // The program's exit code; -1 when it was ended by a signal.
    int exitStatus = 0;
    // Decoded as UTF-8; invalid sequences become U+FFFD.
    QString output;

    bool succeeded() const { return exitStatus == 0; }
};

// The program could not be started at all (missing, not executable, ...).
// The description is Qt's own text for the failure.
class ProcessLaunchError : public idlewyn::Error {
public:
    using Error::Error;
};

// The one way the supervisor runs a program: both output channels merged,
// read to the end, then the exit status. A program that cannot start fails
// at once with ProcessLaunchError. There is no time limit: callers run only
// short-lived tools. The caller suspends; the event loop keeps running.
QCoro::Task<ProcessResult> runProcess(QString program, QStringList arguments);

} // namespace vesperline
