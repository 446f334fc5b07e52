// The systemd user unit, read to tell whether the installed service runs this
// application's relay. Anything may have written it.

#include "service_definition.h"

#include "supervisor/systemd_service_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vesperline;
    fuzz::requireWrittenDefinitionNamesTheScript<SystemdServiceManager>(
        fuzz::bytesOf(data, size), "the unit written for a relay script names that script");
    return 0;
}
