#pragma once

// Helpers shared by the supervisor's tests: a clean home per test, fake
// service tools that record their calls, and the real relay on loopback.

#include "model/error.h"
#include "supervisor/relay_installer.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

#include <qcoro/qcorotask.h>

namespace vesperline::fixtures {

// What a coroutine ended with. QCoro::waitFor never returns from a task
// that throws, so tests run every task through outcomeOf.
struct Done {};

template <class T>
struct Outcome {
    std::optional<std::conditional_t<std::is_void_v<T>, Done, T>> value;
    std::exception_ptr error;

    bool succeeded() const { return value.has_value(); }

    // The failure's user-facing text; empty on success.
    QString errorText() const
    {
        if (!error) {
            return {};
        }
        try {
            std::rethrow_exception(error);
        } catch (const idlewyn::Error& failure) {
            return failure.description();
        } catch (const std::exception& failure) {
            return QString::fromUtf8(failure.what());
        }
    }

    // The failure as an exception type, or null when it is another type.
    template <class E>
    std::optional<E> errorAs() const
    {
        if (!error) {
            return std::nullopt;
        }
        try {
            std::rethrow_exception(error);
        } catch (const E& failure) {
            return failure;
        } catch (...) {
            return std::nullopt;
        }
    }
};

template <class T>
QCoro::Task<> captureOutcome(QCoro::Task<T> task, Outcome<T>& outcome)
{
    try {
        if constexpr (std::is_void_v<T>) {
            co_await task;
            outcome.value = Done{};
        } else {
            outcome.value = co_await task;
        }
    } catch (...) {
        outcome.error = std::current_exception();
    }
}

template <class T>
Outcome<T> outcomeOf(QCoro::Task<T> task)
{
    Outcome<T> outcome;
    QCoro::waitFor(captureOutcome(std::move(task), outcome));
    return outcome;
}

// The test process's private HOME (set up by the test main), emptied so that
// each test starts from a fresh account even when one process runs them all.
QString freshHome();

void writeFile(const QString& path, const QByteArray& data);
QByteArray readFile(const QString& path);
// POSIX permission bits of a file or directory (e.g. 0755).
int modeOf(const QString& path);

// Waits (processing events) until `condition` holds; false if it never did
// within `limitMs`. The limit only bounds a hang.
bool waitUntil(const std::function<bool()>& condition, int limitMs = 15000);

// A stand-in for launchctl or systemctl: a shell script that appends each
// call's arguments as one line to its log and succeeds, or fails a set
// number of times per verb (the first argument, after --user for
// systemctl), printing "<Verb> failed: call <n>" to standard error.
class FakeTool {
public:
    explicit FakeTool(const QString& name);

    QString path() const;
    QStringList calls() const;
    // The next `count` calls with this verb fail (exit status 5).
    void failNext(const QString& verb, int count);
    // Every call with this verb fails.
    void failAlways(const QString& verb) { failNext(verb, 1000000); }

private:
    QTemporaryDir m_directory;
    QString m_name;
};

// A python3 stand-in: prints `output` and exits with `status`.
QString fakePython(const QString& directory, const QByteArray& output, int status);

// The relay's configuration for tests: any free port on 127.0.0.1 only.
void writeRelayConfig(const QString& supportDirectory, bool tls);

// The installed relay.py run as a child of the test on 127.0.0.1, ended when
// this object goes.
class RealRelay {
public:
    // Installs the files with `installer`, writes the config, starts the
    // relay and waits until it has written relay-url.
    RealRelay(const RelayInstaller& installer, bool tls);
    ~RealRelay();

    QUrl url() const;
    bool isRunning() const { return m_process->state() == QProcess::Running; }

private:
    QString m_supportDirectory;
    std::unique_ptr<QProcess> m_process;
};

// The session id of a process (field 6 of /proc/<pid>/stat); -1 if gone.
qint64 sessionIdOf(qint64 pid);
bool processExists(qint64 pid);

} // namespace vesperline::fixtures
