#pragma once

#include "model/error.h"

#include <QString>

namespace idlewyn {

// The failure of every relay operation (and of the push gateway's status
// check). Equality compares the case and, for `server`, the status.
class RelayError : public Error {
public:
    enum class Kind { server, invalidResponse, unauthorized, promptExpired, certificateMismatch, tooManyAttempts };

    static RelayError server(int status);
    static RelayError invalidResponse();
    static RelayError unauthorized();
    static RelayError promptExpired();
    static RelayError certificateMismatch();
    static RelayError tooManyAttempts();

    Kind kind() const noexcept { return m_kind; }
    // The HTTP status of a `server` error; 0 for every other case.
    int status() const noexcept { return m_status; }

    bool operator==(const RelayError& other) const noexcept
    {
        return m_kind == other.m_kind && m_status == other.m_status;
    }

private:
    RelayError(Kind kind, int status);

    Kind m_kind;
    int m_status;
};

} // namespace idlewyn
