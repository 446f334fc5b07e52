#include "supervisor/installer_error.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <utility>

namespace vesperline {

InstallerError::InstallerError(Kind kind, QString subject, QString output, const QString& description)
    : Error(description)
    , m_kind(kind)
    , m_subject(std::move(subject))
    , m_output(std::move(output))
{
}

InstallerError InstallerError::missingResource(const QString& fileName)
{
    return InstallerError(Kind::missingResource, fileName, {},
                          QStringLiteral("This app is missing its copy of ") + fileName + u'.');
}

InstallerError InstallerError::command(const QString& label, const QString& output)
{
    return InstallerError(Kind::command, label, output, label + QStringLiteral(" failed: ") + output.trimmed());
}

InstallerError InstallerError::noPython()
{
#ifdef Q_OS_MACOS
    static const QString text = QStringLiteral("The relay needs Python 3.9 or later at /usr/bin/python3. "
                                               "Install the Command Line Tools: xcode-select --install");
#else
    // The Command Line Tools do not exist here; the distribution's package
    // manager is what puts python3 at /usr/bin.
    static const QString text = QStringLiteral("The relay needs Python 3.9 or later at /usr/bin/python3. "
                                               "Install it with your package manager: sudo apt install python3");
#endif
    return InstallerError(Kind::noPython, {}, {}, text);
}

InstallerError InstallerError::notRunning()
{
    return InstallerError(Kind::notRunning, {}, {}, QStringLiteral("No relay started by this app is running."));
}

void writeFileReplacing(const QString& path, const QByteArray& data)
{
    const QString directory = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(directory)) {
        throw FileSystemError(QStringLiteral("Could not create the folder %1.").arg(directory));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        throw FileSystemError(QStringLiteral("Could not write %1: %2").arg(path, file.errorString()));
    }
}

} // namespace vesperline
