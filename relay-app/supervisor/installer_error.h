#pragma once

#include "model/error.h"

#include <QString>

namespace vesperline {

// The installer's own failures. Failures of the file system pass through as
// FileSystemError, failures to launch a program as ProcessLaunchError.
class InstallerError : public idlewyn::Error {
public:
    enum class Kind { missingResource, command, noPython, notRunning };

    // "This app is missing its copy of <fileName>."
    static InstallerError missingResource(const QString& fileName);
    // "<label> failed: <output, trimmed>"; labels read "launchctl bootstrap",
    // "systemctl restart", "relay.py install-hooks --dry-run".
    static InstallerError command(const QString& label, const QString& output);
    // /usr/bin/python3 is missing or older than 3.9.
    static InstallerError noPython();
    // Stopping a relay this application does not run (the detached manager
    // only ever signals a process it started).
    static InstallerError notRunning();

    Kind kind() const noexcept { return m_kind; }
    // The file name of missingResource, the label of command; empty otherwise.
    const QString& subject() const noexcept { return m_subject; }
    // The untrimmed output of a failed command; empty otherwise.
    const QString& output() const noexcept { return m_output; }

private:
    InstallerError(Kind kind, QString subject, QString output, const QString& description);

    Kind m_kind;
    QString m_subject;
    QString m_output;
};

// A file or directory operation that failed; the text names the path and
// the system's reason.
class FileSystemError : public idlewyn::Error {
public:
    using Error::Error;
};

// Writes a whole file through a temporary and a rename, creating missing
// folders, so a reader never sees half a service definition. Throws
// FileSystemError.
void writeFileReplacing(const QString& path, const QByteArray& data);

} // namespace vesperline
