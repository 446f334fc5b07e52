#include "menu/window_manager.h"

namespace vesperline {

WindowManager::WindowManager(QObject* parent)
    : QObject(parent)
{
}

WindowManager::~WindowManager()
{
    for (const QPointer<QWidget>& window : std::as_const(m_windows)) {
        delete window.data();
    }
}

void WindowManager::registerWindow(const QString& id, Factory factory)
{
    m_factories.insert(id, std::move(factory));
}

QWidget* WindowManager::window(const QString& id) const
{
    return m_windows.value(id).data();
}

QWidget* WindowManager::open(const QString& id)
{
    QWidget* window = m_windows.value(id).data();
    if (!window) {
        const auto factory = m_factories.constFind(id);
        if (factory == m_factories.constEnd()) {
            return nullptr;
        }
        window = (*factory)();
        // Closing drops the content: the next opening starts afresh.
        window->setAttribute(Qt::WA_DeleteOnClose);
        m_windows.insert(id, window);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

} // namespace vesperline
