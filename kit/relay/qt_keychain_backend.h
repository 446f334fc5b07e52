#pragma once

#include "relay/secret_backend.h"

#include <chrono>

namespace idlewyn {

// The platform's secret service through qtkeychain: the Secret Service
// (gnome-keyring, KWallet) on Linux, the keychain on macOS.
//
// Access groups: qtkeychain has none, and on the Secret Service every process
// of the user's session already shares the one collection, which is what an
// access group buys on Apple platforms. So the group takes no part in an
// item's identity here (one item per service and account, with or without a
// group) and no call ever answers missingEntitlement.
//
// qtkeychain reports its own error kinds; they become statuses as follows,
// each failure keeping qtkeychain's text as its message:
//   EntryNotFound      -> itemNotFound (-25300)
//   AccessDeniedByUser -> userCanceled (-128)
//   AccessDenied       -> interactionNotAllowed (-25308: a locked collection)
//   NoBackendAvailable -> notAvailable (-25291)
//   NotImplemented     -> unimplemented (-4)
//   anything else      -> internalComponent (-2070)
// A call the service leaves unanswered for `timeout` fails with notAvailable.
class QtKeychainBackend final : public SecretBackend {
public:
    // Longer than D-Bus's own 25 s call timeout, so that a slow service that
    // does answer is not cut short, yet bounded: a service that never answers
    // (a hung daemon, a prompt nobody sees) must not leave callers waiting
    // forever.
    static constexpr std::chrono::milliseconds defaultTimeout{30000};

    explicit QtKeychainBackend(std::chrono::milliseconds timeout = defaultTimeout);

    QCoro::Task<SecretResult> read(SecretQuery query) override;
    QCoro::Task<SecretResult> write(SecretQuery query, QByteArray data) override;
    QCoro::Task<SecretResult> remove(SecretQuery query) override;

private:
    enum class Kind { read, write, remove };

    static QCoro::Task<SecretResult> run(Kind kind, SecretQuery query, QByteArray data,
                                         std::chrono::milliseconds timeout);

    std::chrono::milliseconds m_timeout;
};

} // namespace idlewyn
