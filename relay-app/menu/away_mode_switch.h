#pragma once

#include "menu/focus_ring.h"

namespace vesperline {

// The away-mode toggle: a switch with a two-line label. It shows the value
// it is given (the relay's) and never flips itself: a click only asks for
// the other value through `toggleRequested`, and the switch moves once the
// relay reports the change.
class AwayModeSwitch : public FocusRingButton {
    Q_OBJECT

public:
    explicit AwayModeSwitch(QWidget* parent = nullptr);

    bool isOn() const { return m_on; }
    void setOn(bool on);

    QSize sizeHint() const override;

    static QString title();
    static QString subtitle();

signals:
    void toggleRequested(bool wanted);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    QRectF trackRect() const;

    bool m_on = false;
};

} // namespace vesperline
