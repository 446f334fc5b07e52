#include "relay/push_token_registration.h"

namespace idlewyn {

PushTokenRegistration::PushTokenRegistration(QString deviceID, Kind kind, const QByteArray& token, QString environment,
                                             std::optional<QString> pushKey)
    : deviceID(std::move(deviceID))
    , kind(kind)
    , token(hexToken(token))
    , environment(std::move(environment))
    , pushKey(std::move(pushKey))
{
}

QString PushTokenRegistration::hexToken(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

} // namespace idlewyn
