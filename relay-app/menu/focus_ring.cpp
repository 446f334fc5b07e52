#include "menu/focus_ring.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QObject>
#include <QPainter>

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

FocusRingButton::FocusRingButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    // Seen from the start, so that the first Tab counts.
    watchInputForFocusRings();
}

void FocusRingButton::paintFocusRing(QPainter& painter, const QRectF& rect, qreal radius) const
{
    if (!isFocusRingShown()) {
        return;
    }
    painter.save();
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawRoundedRect(rect, radius, radius);
    painter.restore();
}

void FocusRingButton::focusInEvent(QFocusEvent* event)
{
    m_showsFocusRing = showsFocusRing(event);
    QAbstractButton::focusInEvent(event);
}

void FocusRingButton::focusOutEvent(QFocusEvent* event)
{
    m_showsFocusRing = false;
    QAbstractButton::focusOutEvent(event);
}

void FocusRingButton::keyPressEvent(QKeyEvent* event)
{
    // Any key press is keyboard use: show where the focus is.
    m_showsFocusRing = true;
    update();
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (isEnabled()) {
            animateClick();
        }
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

} // namespace vesperline
