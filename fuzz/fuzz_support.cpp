#include "fuzz_support.h"

// Every target's start: Qt's warnings about bad input are expected here and
// would drown libFuzzer's own output; a fatal message still aborts.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtFatalMsg) {
            std::fprintf(stderr, "%s\n", qPrintable(message));
        }
    });
    return 0;
}
