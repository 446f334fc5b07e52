// The launch agent's property list (XML or binary), read to tell whether the
// installed agent runs this application's relay. Anything may have written it.

#include "service_definition.h"

#include "supervisor/launchd_service_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vesperline;
    fuzz::requireWrittenDefinitionNamesTheScript<LaunchdServiceManager>(
        fuzz::bytesOf(data, size), "the agent written for a relay script names that script");
    return 0;
}
