#include "menu/focus_ring.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QObject>

namespace vesperline {

namespace {

// Remembers whether the last input of the application came from the keyboard.
class InputWatcher : public QObject {
public:
    bool keyboardLast = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
            keyboardLast = true;
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::TouchBegin:
            keyboardLast = false;
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }
};

InputWatcher* watcher()
{
    static InputWatcher* instance = [] {
        auto* created = new InputWatcher;
        if (QCoreApplication* app = QCoreApplication::instance()) {
            created->setParent(app);
            app->installEventFilter(created);
        }
        return created;
    }();
    return instance;
}

} // namespace

void watchInputForFocusRings()
{
    watcher();
}

bool showsFocusRing(const QFocusEvent* event)
{
    const bool keyboardReason = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    return keyboardReason && watcher()->keyboardLast;
}

} // namespace vesperline
