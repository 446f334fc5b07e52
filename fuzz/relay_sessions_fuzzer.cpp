// The relay's session list as a phone reads it ({"sessions": [...]}) and the
// snapshot the widgets read back from the shared defaults: JSON written by
// another process, decoded with the relay coding.

#include "fuzz_support.h"

#include "model/session_snapshot.h"
#include "relay/relay_wire.h"

using namespace idlewyn;
using namespace vesperline::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = bytesOf(data, size);
    requireRoundTrip<RelayWire::SessionsResponse>(
        json::relay, bytes, "a session list reads back as it was decoded",
        [](const RelayWire::SessionsResponse& a, const RelayWire::SessionsResponse& b) {
            return a.sessions == b.sessions;
        });
    requireRoundTrip<SessionSnapshot>(json::relay, bytes, "a snapshot reads back as it was decoded");
    return 0;
}
