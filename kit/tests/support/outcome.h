#pragma once

// Running coroutines to their end in tests. Assertions do not compile inside
// coroutines, and QCoro::waitFor never returns when the awaited task throws
// (its helper stores the exception and the nested loop is never quit), so
// every test waits through outcomeOf (value or error, asserted afterwards)
// or blockingWait (rethrows here, outside the loop).

#include "model/error.h"

#include <QString>
#include <exception>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>

#include <qcoro/qcorotask.h>

namespace idlewyn::testing {

template <class T>
struct Outcome {
    using Value = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

    std::optional<Value> value;
    std::exception_ptr error;

    bool succeeded() const { return value.has_value(); }

    // The failure as an exception type, or nothing when it is another type.
    template <class E>
    std::optional<E> errorAs() const
    {
        if (!error) {
            return std::nullopt;
        }
        try {
            std::rethrow_exception(error);
        } catch (const E& failure) {
            return failure;
        } catch (...) {
            return std::nullopt;
        }
    }

    // The failure's user-facing text; empty on success.
    QString errorText() const
    {
        if (!error) {
            return {};
        }
        try {
            std::rethrow_exception(error);
        } catch (const Error& failure) {
            return failure.description();
        } catch (const std::exception& failure) {
            return QString::fromUtf8(failure.what());
        } catch (...) {
            return QStringLiteral("(not a std::exception)");
        }
    }

    // For assertion messages.
    std::string describe() const { return value ? std::string("succeeded") : "threw: " + errorText().toStdString(); }
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

// Waits for the task and returns its value, or throws what it threw.
template <class T>
T blockingWait(QCoro::Task<T> task)
{
    Outcome<T> outcome = outcomeOf(std::move(task));
    if (outcome.error) {
        std::rethrow_exception(outcome.error);
    }
    if constexpr (!std::is_void_v<T>) {
        return std::move(*outcome.value);
    }
}

} // namespace idlewyn::testing
