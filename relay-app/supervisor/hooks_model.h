#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

#include <qcoro/qcorotask.h>

namespace vesperline {

class RelayMonitor;

// The state of the hooks window: what `relay.py install-hooks --dry-run`
// reports (preview), what `relay.py install-hooks` reported (result), the
// last failure of either, and whether the apply runs; plus the rules that
// turn that state into the window's report text, status label and Apply
// button. Both commands run through the monitor. The window renders it and
// forwards its two actions; a new window gets a new model.
//
// Main thread only. A command still running when the model goes finishes
// without touching it.
class HooksModel : public QObject {
    Q_OBJECT

public:
    explicit HooksModel(RelayMonitor& monitor, QObject* parent = nullptr);

    const std::optional<QString>& preview() const { return m_preview; }
    const std::optional<QString>& result() const { return m_result; }
    // Neither action clears it: an error stays until the window opens anew.
    const std::optional<QString>& error() const { return m_error; }
    bool isWorking() const { return m_working; }

    // The result, else the preview, else "Checking…".
    QString reportText() const;
    // "Done. Restart running Claude Code and Codex sessions." after an apply,
    // "Already set up" for a preview without changes to make, else nothing.
    std::optional<QString> statusText() const;
    // Only for a preview with changes to make, while no apply runs and none
    // has succeeded.
    bool isApplyEnabled() const;

    // The dry run; the window runs it every time its content is shown.
    QCoro::Task<> runPreview();
    // Applies the changes; does nothing while Apply is disabled.
    QCoro::Task<> apply();

signals:
    // Any field changed: render again.
    void changed();

private:
    // Runs `relay.py <arguments>`; on failure records the error and gives none.
    QCoro::Task<std::optional<QString>> run(QStringList arguments);

    RelayMonitor& m_monitor;
    std::optional<QString> m_preview;
    std::optional<QString> m_result;
    std::optional<QString> m_error;
    bool m_working = false;
};

} // namespace vesperline
