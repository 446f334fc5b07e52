#pragma once

// The relay client's tests: the shared Outcome plus a readable RelayError in
// assertion messages.

#include "relay/http_session.h"
#include "relay/relay_error.h"

#include "support/outcome.h"

#include <ostream>

namespace idlewyn {

inline void PrintTo(const RelayError& error, std::ostream* os)
{
    *os << "RelayError(" << static_cast<int>(error.kind()) << ", " << error.status() << ")";
}

} // namespace idlewyn
