#include "supervisor_test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTest>

#include <stdexcept>
#include <sys/stat.h>

namespace vesperline::fixtures {

QString freshHome()
{
    const QString home = QDir::homePath();
    // Only ever a temporary directory: never empty a real account's home.
    if (!home.startsWith(QDir::tempPath() + u'/')) {
        throw std::runtime_error("HOME is not a temporary directory");
    }
    QDir directory(home);
    for (const QString& entry : directory.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QString path = directory.filePath(entry);
        if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink()) {
            QDir(path).removeRecursively();
        } else {
            QFile::remove(path);
        }
    }
    directory.mkpath(QStringLiteral(".config"));
    return home;
}

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size()) {
        throw std::runtime_error("cannot write " + path.toStdString());
    }
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

int modeOf(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return -1;
    }
    return static_cast<int>(info.st_mode & 07777);
}

bool waitUntil(const std::function<bool()>& condition, int limitMs)
{
    return QTest::qWaitFor(condition, limitMs);
}

FakeTool::FakeTool(const QString& name)
    : m_name(name)
{
    const QString dir = m_directory.path();
    const QByteArray script = "#!/bin/sh\n"
                              "dir='" + dir.toUtf8() + "'\n"
                              "printf '%s\\n' \"$*\" >> \"$dir/calls.log\"\n"
                              "verb=$1\n"
                              "[ \"$verb\" = \"--user\" ] && verb=$2\n"
                              "n=0\n"
                              "[ -f \"$dir/count-$verb\" ] && n=$(cat \"$dir/count-$verb\")\n"
                              "n=$((n + 1))\n"
                              "echo \"$n\" > \"$dir/count-$verb\"\n"
                              "if [ -f \"$dir/fail-$verb\" ]; then\n"
                              "  left=$(cat \"$dir/fail-$verb\")\n"
                              "  if [ \"$left\" -gt 0 ]; then\n"
                              "    echo $((left - 1)) > \"$dir/fail-$verb\"\n"
                              "    echo \"$verb refused (call $n)\" >&2\n"
                              "    exit 5\n"
                              "  fi\n"
                              "fi\n"
                              "echo \"$verb done\"\n"
                              "exit 0\n";
    writeFile(path(), script);
    QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString FakeTool::path() const
{
    return m_directory.filePath(m_name);
}

QStringList FakeTool::calls() const
{
    const QString log = QString::fromUtf8(readFile(m_directory.filePath(QStringLiteral("calls.log"))));
    return log.split(u'\n', Qt::SkipEmptyParts);
}

void FakeTool::failNext(const QString& verb, int count)
{
    writeFile(m_directory.filePath(QStringLiteral("fail-") + verb), QByteArray::number(count) + '\n');
}

QString fakePython(const QString& directory, const QByteArray& output, int status)
{
    const QString path = directory + QStringLiteral("/python3");
    writeFile(path, "#!/bin/sh\nprintf '%s\\n' '" + output + "'\nexit " + QByteArray::number(status) + "\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

void writeRelayConfig(const QString& supportDirectory, bool tls)
{
    writeFile(supportDirectory + QStringLiteral("/config.json"),
              QByteArray(R"({"port": 0, "host": "127.0.0.1", "advertiseHost": "127.0.0.1", "tls": )")
                  + (tls ? "true" : "false") + "}\n");
}

RealRelay::RealRelay(const RelayInstaller& installer, bool tls)
    : m_supportDirectory(installer.supportDirectory())
    , m_process(std::make_unique<QProcess>())
{
    installer.installFiles();
    writeRelayConfig(m_supportDirectory, tls);
    QFile::remove(m_supportDirectory + QStringLiteral("/relay-url"));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), installer.paths().home);
    environment.insert(QStringLiteral("PYTHONDONTWRITEBYTECODE"), QStringLiteral("1"));
    m_process->setProcessEnvironment(environment);
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->start(installer.pythonExecutable(), {installer.relayScript()});
    const QString urlFile = m_supportDirectory + QStringLiteral("/relay-url");
    if (!waitUntil([&] { return QFileInfo::exists(urlFile) || m_process->state() == QProcess::NotRunning; })
        || !QFileInfo::exists(urlFile)) {
        throw std::runtime_error("the relay did not start");
    }
}

RealRelay::~RealRelay()
{
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(10000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
}

QUrl RealRelay::url() const
{
    return QUrl(QString::fromUtf8(readFile(m_supportDirectory + QStringLiteral("/relay-url"))).trimmed());
}

qint64 sessionIdOf(qint64 pid)
{
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    // "pid (comm) state ppid pgrp session ...": comm may hold spaces, so
    // count fields after its closing parenthesis.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0) {
        return -1;
    }
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    return fields.size() > 3 ? fields.at(3).toLongLong() : -1;
}

bool processExists(qint64 pid)
{
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    // A zombie has ended; only its exit status is left for its parent.
    return close >= 0 && stat.size() > close + 2 && stat.at(close + 2) != 'Z';
}

} // namespace vesperline::fixtures
