// The stored connections: the secret store's item, a JSON array in the plain
// coding (dates as seconds since 2001), which any process of the group may
// have written.

#include "fuzz_support.h"

#include "relay/connection.h"

using namespace idlewyn;
using namespace vesperline::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    requireRoundTrip<QList<Connection>>(json::plain, bytesOf(data, size),
                                        "a stored connection list reads back as it was decoded");
    return 0;
}
