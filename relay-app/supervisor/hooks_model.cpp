#include "supervisor/hooks_model.h"

#include "supervisor/relay_monitor.h"

#include <QPointer>

namespace vesperline {

namespace {
// The dry run prints it exactly when there are changes to make.
const QString dryRunMarker = QStringLiteral("(dry run)");
} // namespace

HooksModel::HooksModel(RelayMonitor& monitor, QObject* parent)
    : QObject(parent)
    , m_monitor(monitor)
{
}

QString HooksModel::reportText() const
{
    if (m_result) {
        return *m_result;
    }
    if (m_preview) {
        return *m_preview;
    }
    return QStringLiteral("Checking\u2026");
}

std::optional<QString> HooksModel::statusText() const
{
    if (m_result) {
        return QStringLiteral("Done. Restart running Claude Code and Codex sessions.");
    }
    if (m_preview && !m_preview->contains(dryRunMarker)) {
        return QStringLiteral("Already set up");
    }
    return std::nullopt;
}

bool HooksModel::isApplyEnabled() const
{
    return m_preview && m_preview->contains(dryRunMarker) && !m_working && !m_result;
}

QCoro::Task<std::optional<QString>> HooksModel::run(QStringList arguments)
{
    QPointer<HooksModel> self(this);
    RelayMonitor& monitor = m_monitor;
    std::optional<QString> failure;
    try {
        co_return co_await monitor.runRelay(std::move(arguments));
    } catch (const std::exception& error) {
        failure = describeFailure(error);
    }
    if (self) {
        self->m_error = failure;
    }
    co_return std::nullopt;
}

QCoro::Task<> HooksModel::runPreview()
{
    QPointer<HooksModel> self(this);
    // Built before the co_await: GCC 12 miscompiles braced literals inside it.
    QStringList arguments;
    arguments << QStringLiteral("install-hooks") << QStringLiteral("--dry-run");
    const std::optional<QString> output = co_await run(std::move(arguments));
    if (!self) {
        co_return;
    }
    if (output) {
        self->m_preview = output;
    }
    emit self->changed();
}

QCoro::Task<> HooksModel::apply()
{
    if (!isApplyEnabled()) {
        co_return;
    }
    QPointer<HooksModel> self(this);
    m_working = true;
    emit changed();
    QStringList arguments;
    arguments << QStringLiteral("install-hooks");
    const std::optional<QString> output = co_await run(std::move(arguments));
    if (!self) {
        co_return;
    }
    if (output) {
        self->m_result = output;
    }
    self->m_working = false;
    emit self->changed();
}

} // namespace vesperline
