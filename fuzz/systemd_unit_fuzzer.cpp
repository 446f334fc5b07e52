// The systemd user unit, read to tell whether the installed service runs this
// application's relay. Anything may have written it.

#include "fuzz_support.h"

#include "supervisor/systemd_service_manager.h"

using namespace vesperline;
using namespace vesperline::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = bytesOf(data, size);
    (void)SystemdServiceManager::programPathIn(bytes);

    // The input split at its first NUL into two paths: the unit this
    // application writes names its relay script, whatever the characters.
    const qsizetype split = bytes.indexOf('\0');
    if (split < 0 || bytes.indexOf('\0', split + 1) >= 0) {
        return 0; // no file system path holds a NUL
    }
    RelayPaths paths = RelayPaths::forHome(QStringLiteral("/home/fuzz"), QString::fromUtf8(bytes.left(split)));
    paths.relayScript = QString::fromUtf8(bytes.mid(split + 1));
    paths.logFile = paths.relayScript + QStringLiteral(".log");
    QByteArray unit;
    try {
        unit = SystemdServiceManager(paths).unitText();
    } catch (const idlewyn::Error&) {
        return 0; // refusing to write a path is sound
    }
    const std::optional<QString> read = SystemdServiceManager::programPathIn(unit);
    require(read == paths.relayScript, "the unit written for a relay script names that script",
            QString::fromUtf8(unit));
    return 0;
}
