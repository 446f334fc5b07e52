#pragma once

#include "alerts/alert.h"

#include <QObject>
#include <QString>

namespace vesperline {

// The system's notifications, as the client uses them. One implementation per
// platform; the client knows only this.
class Notifier : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Shows the alert, replacing the notification of an earlier alert with the
    // same id. A prompt's notification offers Allow and Deny.
    virtual void show(const Alert& alert) = 0;
    // Takes the alert's notification away, if it is still there.
    virtual void withdraw(const QString& alertId) = 0;

signals:
    // action: "allow" or "deny", pressed on a prompt's notification.
    void actionInvoked(const QString& alertId, const QString& action);
    // The notification itself was clicked: open that session.
    void activated(const QString& alertId);
};

} // namespace vesperline
