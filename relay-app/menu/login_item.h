#pragma once

#include "model/error.h"

#include <QString>
#include <memory>

namespace vesperline {

// The application's own entry among the programs the desktop starts at login.
class LoginItem {
public:
    // The states a login item can be in; only `enabled` counts as on.
    enum class Status { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

    virtual ~LoginItem() = default;

    virtual Status status() const = 0;
    // Both throw idlewyn::Error with a user-facing text on failure.
    virtual void registerItem() = 0;
    virtual void unregisterItem() = 0;

    // The login item of this desktop: an XDG autostart entry on Linux.
    static std::unique_ptr<LoginItem> forThisApplication();
};

// ~/.config/autostart/<name>.desktop (XDG_CONFIG_HOME honoured), starting
// `executable`. Counted as enabled only while the entry exists, is not
// hidden and starts this very executable.
class XdgAutostartLoginItem : public LoginItem {
public:
    XdgAutostartLoginItem(QString executable, QString entryName = QStringLiteral("vesperline-relay"));

    QString entryPath() const;

    Status status() const override;
    void registerItem() override;
    void unregisterItem() override;

private:
    QString m_executable;
    QString m_entryName;
};

} // namespace vesperline
