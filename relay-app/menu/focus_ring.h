#pragma once

#include <QAbstractButton>

class QFocusEvent;
class QPainter;

namespace vesperline {

// Whether a control that just got the focus should show its focus ring:
// only when the person is using the keyboard. Focus handed on because a
// clicked row disappeared (which Qt reports as tab focus) shows no ring.
bool showsFocusRing(const QFocusEvent* event);

// Starts noting keyboard and pointer input; controls that draw a focus ring
// call it when they are created, so the first Tab is seen too.
void watchInputForFocusRings();

// A button that draws itself, with a keyboard focus ring: the ring shows
// for focus that came from the keyboard and after any key press, not for
// focus that a click or a hidden neighbour handed over. Space, Return and
// Enter click it.
class FocusRingButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit FocusRingButton(QWidget* parent = nullptr);

protected:
    bool isFocusRingShown() const { return hasFocus() && m_showsFocusRing; }
    // While the ring shows: a 2-pixel accent border along `rect`, with
    // corners of `radius`.
    void paintFocusRing(QPainter& painter, const QRectF& rect, qreal radius) const;

    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool m_showsFocusRing = false;
};

} // namespace vesperline
