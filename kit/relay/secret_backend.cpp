#include "relay/secret_backend.h"

#include "relay/qt_keychain_backend.h"

namespace idlewyn {

SecretBackend::~SecretBackend() = default;

std::shared_ptr<SecretBackend> SecretBackend::platform()
{
    static const std::shared_ptr<SecretBackend> backend = std::make_shared<QtKeychainBackend>();
    return backend;
}

} // namespace idlewyn
