#pragma once

#include "menu/app_environment.h"
#include "supervisor/hooks_model.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vesperline {

// The hook set-up window: shows what `relay.py install-hooks --dry-run`
// would change, applies it with one button, and shows the outcome. Its
// state and content rules are the HooksModel's; the window draws them and
// runs the preview each time its content is shown.
class HooksView : public QWidget {
    Q_OBJECT

public:
    // The environment must carry the monitor.
    explicit HooksView(const AppEnvironment& environment, QWidget* parent = nullptr);

    HooksModel& model() { return m_model; }
    const HooksModel& model() const { return m_model; }
    QPushButton* applyButton() const { return m_apply; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void render();

    HooksModel m_model;

    QPlainTextEdit* m_report;
    QLabel* m_errorLabel;
    QLabel* m_statusIcon;
    QLabel* m_statusLabel;
    QPushButton* m_apply;
};

} // namespace vesperline
