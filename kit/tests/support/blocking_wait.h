#pragma once

// QCoro::waitFor never returns when the awaited task throws: its helper
// coroutine stores the exception and the nested loop is never quit. Tests
// that expect a coroutine to throw run it through blockingWait, which catches
// inside the coroutine and throws again once the loop is left.
#include <exception>
#include <optional>
#include <type_traits>

#include <qcoro/qcorotask.h>

namespace idlewyn::testing {

template <class T>
T blockingWait(QCoro::Task<T> task)
{
    std::exception_ptr failure;
    if constexpr (std::is_void_v<T>) {
        QCoro::waitFor([&]() -> QCoro::Task<> {
            try {
                co_await task;
            } catch (...) {
                failure = std::current_exception();
            }
        }());
        if (failure) {
            std::rethrow_exception(failure);
        }
    } else {
        std::optional<T> result;
        QCoro::waitFor([&]() -> QCoro::Task<> {
            try {
                result = co_await task;
            } catch (...) {
                failure = std::current_exception();
            }
        }());
        if (failure) {
            std::rethrow_exception(failure);
        }
        return std::move(*result);
    }
}

} // namespace idlewyn::testing
