#pragma once

#include "design/color.h"
#include "design/session_drawing.h"

#include <QWidget>

namespace idlewyn {

// A session's task list as a 32-wide bar and "done/total" side by side, 4
// apart, both in `tint`. The bar shows min(done, total) of max(total, 1), so
// more done than planned is a full bar and no planned tasks an empty one; the
// text always shows the inputs as they are ("7/5", "3/0"). To assistive
// technology the whole view is one element named "done of total tasks done".
// Both texts are translatable (context "idlewyn::TaskProgressView": "%1/%2" and
// "%1 of %2 tasks done").
class TaskProgressView : public QWidget {
    Q_OBJECT

public:
    TaskProgressView(int done, int total, const Color& tint, QWidget* parent = nullptr);

    int done() const { return m_done; }
    int total() const { return m_total; }
    const Color& tint() const { return m_tint; }
    void setProgress(int done, int total);
    void setTint(const Color& tint);

    // The bar: value min(done, total) out of maximum max(total, 1).
    double value() const;
    double maximum() const;
    // How much of the bar is filled, 0…1.
    double fraction() const;

    QString text() const;
    QString accessibleLabel() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    static constexpr int barHeight = SessionDrawing::taskProgressBarHeight;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void inputsChanged();

    int m_done;
    int m_total;
    Color m_tint;
};

} // namespace idlewyn
