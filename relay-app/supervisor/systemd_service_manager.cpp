#include "supervisor/systemd_service_manager.h"

#include "supervisor/installer_error.h"

namespace vesperline {

namespace {

// Unit files expand %-specifiers and $-variables even inside quotes; a path
// must reach python exactly as it is on disk.
QString escapedForUnit(QString text)
{
    text.replace(u'%', QStringLiteral("%%"));
    text.replace(u'$', QStringLiteral("$$"));
    return text;
}

QString quotedWord(const QString& word)
{
    QString quoted = escapedForUnit(word);
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    quoted.replace(u'"', QStringLiteral("\\\""));
    return u'"' + quoted + u'"';
}

// Splits an ExecStart value into words the way systemd does for the forms
// this class writes (double-quoted words with backslash escapes) and for
// plain unquoted words.
QStringList execWords(QStringView value)
{
    QStringList words;
    qsizetype i = 0;
    const qsizetype n = value.size();
    while (i < n) {
        while (i < n && value[i].isSpace()) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        QString word;
        if (value[i] == u'"' || value[i] == u'\'') {
            const QChar quote = value[i++];
            while (i < n && value[i] != quote) {
                if (value[i] == u'\\' && i + 1 < n) {
                    ++i;
                }
                word += value[i++];
            }
            ++i; // closing quote
        } else {
            while (i < n && !value[i].isSpace()) {
                if (value[i] == u'\\' && i + 1 < n) {
                    ++i;
                }
                word += value[i++];
            }
        }
        word.replace(QStringLiteral("%%"), QStringLiteral("%"));
        word.replace(QStringLiteral("$$"), QStringLiteral("$"));
        words.append(word);
    }
    return words;
}

// Built outside the coroutines: GCC 12 miscompiles braced lists of
// temporaries inside a co_await expression.
QStringList verb(const QString& command)
{
    return {command, SystemdServiceManager::unitName()};
}

} // namespace

SystemdServiceManager::SystemdServiceManager(RelayPaths paths)
    : SystemdServiceManager(std::move(paths), Options{})
{
}

SystemdServiceManager::SystemdServiceManager(RelayPaths paths, Options options)
    : FileDefinedServiceManager(std::move(paths))
    , m_options(std::move(options))
{
}

QString SystemdServiceManager::unitName()
{
    return relayServiceLabel + QStringLiteral(".service");
}

QString SystemdServiceManager::definitionFile() const
{
    return m_paths.home + QStringLiteral("/.config/systemd/user/") + unitName();
}

QByteArray SystemdServiceManager::definitionText() const
{
    for (const QString& path : {m_paths.pythonExecutable, m_paths.relayScript, m_paths.logFile}) {
        // A line break would end the directive and start another one.
        if (path.contains(u'\n') || path.contains(u'\r')) {
            throw FileSystemError(
                QStringLiteral("Cannot write a service unit for a path with a line break: %1").arg(path));
        }
    }
    const QString log = escapedForUnit(m_paths.logFile);
    const QString text = QStringLiteral("[Unit]\n"
                                        "Description=Vesperline relay\n"
                                        "\n"
                                        "[Service]\n"
                                        "ExecStart=%1 %2\n"
                                        "Restart=always\n"
                                        "RestartSec=2\n"
                                        "StandardOutput=append:%3\n"
                                        "StandardError=append:%3\n"
                                        "\n"
                                        "[Install]\n"
                                        "WantedBy=default.target\n")
                             .arg(quotedWord(m_paths.pythonExecutable), quotedWord(m_paths.relayScript), log);
    return text.toUtf8();
}

std::optional<QString> SystemdServiceManager::relayScriptIn(const QByteArray& unitText) const
{
    const QStringList lines = QString::fromUtf8(unitText).split(u'\n');
    for (const QString& rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (!line.startsWith(QStringLiteral("ExecStart="))) {
            continue;
        }
        const QStringList words = execWords(QStringView(line).mid(10));
        if (words.size() >= 2) {
            return words.at(1);
        }
        return std::nullopt;
    }
    return std::nullopt;
}

QCoro::Task<QString> SystemdServiceManager::systemctl(QStringList arguments) const
{
    const QString label = QStringLiteral("systemctl ") + arguments.value(0);
    arguments.prepend(QStringLiteral("--user"));
    return runTool(m_options.systemctl, label, std::move(arguments));
}

QCoro::Task<> SystemdServiceManager::start() const
{
    writeDefinition();
    co_await systemctl(QStringList(QStringLiteral("daemon-reload")));
    co_await systemctl(verb(QStringLiteral("enable")));
    // restart starts a stopped unit and replaces a running one, so new relay
    // files take effect, as a bootout and bootstrap do under launchd.
    co_await systemctl(verb(QStringLiteral("restart")));
}

QCoro::Task<> SystemdServiceManager::restart() const
{
    co_await systemctl(verb(QStringLiteral("restart")));
}

QCoro::Task<> SystemdServiceManager::stop() const
{
    co_await systemctl(verb(QStringLiteral("stop")));
}

} // namespace vesperline
