#pragma once

#include "menu/app_environment.h"

#include <QWidget>
#include <optional>

#include <qcoro/qcorotask.h>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vesperline {

// The hook set-up window: shows what `relay.py install-hooks --dry-run`
// would change, applies it with one button, and shows the outcome.
class HooksView : public QWidget {
    Q_OBJECT

public:
    explicit HooksView(const AppEnvironment& environment, QWidget* parent = nullptr);

    const std::optional<QString>& preview() const { return m_preview; }
    const std::optional<QString>& result() const { return m_result; }
    const std::optional<QString>& error() const { return m_error; }
    bool isWorking() const { return m_working; }

    QString reportText() const;
    // "Done. Restart running Claude Code and Codex sessions.", "Already set
    // up" or nothing.
    std::optional<QString> statusText() const;
    bool isApplyEnabled() const;

    // Runs the dry run (also every time the window's content is shown).
    QCoro::Task<> runPreview();
    // The Apply button.
    QCoro::Task<> apply();

    QPushButton* applyButton() const { return m_apply; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void render();

    AppEnvironment m_environment;
    std::optional<QString> m_preview;
    std::optional<QString> m_result;
    std::optional<QString> m_error;
    bool m_working = false;

    QPlainTextEdit* m_report;
    QLabel* m_errorLabel;
    QLabel* m_statusIcon;
    QLabel* m_statusLabel;
    QPushButton* m_apply;
};

} // namespace vesperline
