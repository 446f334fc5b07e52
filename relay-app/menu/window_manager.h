#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace vesperline {

// One window per id: opening an id whose window is open brings it forward;
// otherwise a new window is made, with fresh content, by the id's factory.
class WindowManager : public QObject {
    Q_OBJECT

public:
    using Factory = std::function<QWidget*()>;

    explicit WindowManager(QObject* parent = nullptr);
    ~WindowManager() override;

    void registerWindow(const QString& id, Factory factory);
    // Returns the window shown (nullptr for an unknown id).
    QWidget* open(const QString& id);
    QWidget* window(const QString& id) const;

private:
    QHash<QString, Factory> m_factories;
    QHash<QString, QPointer<QWidget>> m_windows;
};

} // namespace vesperline
