#pragma once

// Runs a task to its end in a test and keeps either its value or what it
// threw, so that the test can assert afterwards (assertions do not compile
// inside coroutines).

#include "relay/http_session.h"
#include "relay/relay_error.h"

#include <exception>
#include <optional>
#include <ostream>
#include <type_traits>
#include <variant>

#include <qcoro/qcorotask.h>

namespace idlewyn {

inline void PrintTo(const RelayError& error, std::ostream* os)
{
    *os << "RelayError(" << static_cast<int>(error.kind()) << ", " << error.status() << ")";
}

namespace testing {

template <class T>
struct Outcome {
    using Value = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

    std::optional<Value> value;
    std::exception_ptr error;

    bool succeeded() const { return value.has_value(); }

    template <class E>
    std::optional<E> errorAs() const
    {
        if (!error) {
            return std::nullopt;
        }
        try {
            std::rethrow_exception(error);
        } catch (const E& e) {
            return e;
        } catch (...) {
            return std::nullopt;
        }
    }

    std::optional<RelayError> relayError() const { return errorAs<RelayError>(); }
    std::optional<TransportError> transportError() const { return errorAs<TransportError>(); }

    // For failure messages.
    std::string describe() const
    {
        if (value) {
            return "succeeded";
        }
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            return std::string("threw: ") + e.what();
        } catch (...) {
            return "threw something that is not a std::exception";
        }
    }
};

template <class T>
Outcome<T> outcomeOf(QCoro::Task<T> task)
{
    Outcome<T> outcome;
    QCoro::waitFor([&]() -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await task;
                outcome.value = std::monostate{};
            } else {
                outcome.value = co_await task;
            }
        } catch (...) {
            outcome.error = std::current_exception();
        }
    }());
    return outcome;
}

} // namespace testing
} // namespace idlewyn
