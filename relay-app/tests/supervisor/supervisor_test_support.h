#pragma once

// Helpers shared by the supervisor's tests: outcomes of coroutines, a clean
// home per test, fake service tools that record their calls, and the real
// relay started on 127.0.0.1 the way the application starts it here.

#include "model/error.h"
#include "supervisor/detached_service_manager.h"
#include "supervisor/relay_installer.h"
#include "supervisor/status.h"

#include <QTemporaryDir>
#include <functional>

#include <qcoro/qcorotask.h>

#include "support/outcome.h"

namespace vesperline::fixtures {

// Coroutines run to their end through the shared helpers.
using idlewyn::testing::outcomeOf;

// The process's temporary HOME (from the test main), emptied, so each test
// starts from a fresh account even when one process runs them all.
QString freshHome();

void writeFile(const QString& path, const QByteArray& data);
QByteArray readFile(const QString& path);
int modeOf(const QString& path); // permission bits, e.g. 0755
// Processes events until `condition` holds; the limit only bounds a hang.
bool waitUntil(const std::function<bool()>& condition);
// A URL on 127.0.0.1 where nobody listens.
QString closedPortUrl();

// A status document with a fixed pairing and one paired token "t1".
Status sampleStatus(const QList<idlewyn::AgentSession>& sessions = {});
QByteArray statusDocument(const QList<idlewyn::AgentSession>& sessions = {});

// A launchctl or systemctl stand-in: appends each call's arguments as a line
// to its log and succeeds, unless told to fail a verb (the first argument
// after an optional --user), printing "<verb> refused (call <n>)".
class FakeTool {
public:
    explicit FakeTool(const QString& name);
    QString path() const { return m_directory.filePath(m_name); }
    QStringList calls() const;
    void failNext(const QString& verb, int count);
    void failAlways(const QString& verb) { failNext(verb, 1000000); }

private:
    QTemporaryDir m_directory;
    QString m_name;
};

// A python3 stand-in in `directory` that runs `script` with /bin/sh.
QString fakePython(const QString& directory, const QByteArray& script);

// The real relay, run detached as on a machine without a user service
// manager, configured for any free port on 127.0.0.1 only; killed when the
// object goes, whatever the test did to it.
struct RunningRelay {
    explicit RunningRelay(const QString& home, bool tls = false);
    ~RunningRelay();
    // Waits until the admin client reaches the relay.
    bool answers() const;

    std::shared_ptr<DetachedServiceManager> manager;
    RelayInstaller installer;
};

qint64 sessionIdOf(qint64 pid); // -1 when the process is gone
bool processExists(qint64 pid); // a zombie counts as gone

} // namespace vesperline::fixtures
