// The relay's status document (GET v1/admin/status), read on every poll.

#include "fuzz_support.h"

#include "supervisor/status.h"

using namespace idlewyn;
using namespace vesperline::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    requireRoundTrip<vesperline::Status>(json::relay, bytesOf(data, size),
                                         "a status document reads back as it was decoded");
    return 0;
}
