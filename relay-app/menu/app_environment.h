#pragma once

#include <QString>
#include <QUrl>
#include <functional>

namespace vesperline {

class RelayMonitor;
class LoginItem;

// What every view of the application reads from its surroundings: the one
// monitor, the login item, and the application-level actions a view may ask
// for. The application shell builds it once and hands it to each view; tests
// build their own with recording actions.
struct AppEnvironment {
    RelayMonitor* monitor = nullptr;
    LoginItem* loginItem = nullptr;
    // Opens (or brings forward) the window with this id: "pair", "tokens", "hooks".
    std::function<void(const QString& windowId)> openWindow;
    // Opens a file or URL with the desktop's default application.
    std::function<void(const QUrl& url)> openUrl;
    std::function<void()> quit;
};

} // namespace vesperline
