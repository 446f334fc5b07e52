#include "menu/hooks_view.h"

#include "design/palette.h"
#include "design/spacing.h"
#include "design/symbol_catalogue.h"
#include "design/typography.h"
#include "supervisor/relay_monitor.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

using namespace idlewyn;

namespace vesperline {

namespace {
const QString dryRunMarker = QStringLiteral("(dry run)");
}

HooksView::HooksView(const AppEnvironment& environment, QWidget* parent)
    : QWidget(parent)
    , m_environment(environment)
{
    setWindowTitle(QStringLiteral("Set Up Hooks"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(Spacing::xl, Spacing::xl, Spacing::xl, Spacing::xl);
    column->setSpacing(Spacing::m);
    column->setSizeConstraint(QLayout::SetFixedSize);

    auto* explanation = new QLabel(
        QStringLiteral("Adds Vesperline\u2019s hooks to Claude Code (<code>~/.claude/settings.json</code>) and Codex "
                       "(<code>~/.codex/config.toml</code>). Other tools\u2019 hooks are kept, and each file is backed "
                       "up before it changes."),
        this);
    explanation->setTextFormat(Qt::RichText);
    explanation->setWordWrap(true);
    explanation->setFixedWidth(480);
    column->addWidget(explanation);

    auto* box = new QGroupBox(this);
    auto* boxLayout = new QVBoxLayout(box);
    m_report = new QPlainTextEdit(box);
    m_report->setReadOnly(true);
    m_report->setFont(Typography::mono());
    m_report->setFixedHeight(Layout::outputPanelHeight);
    m_report->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_report->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    boxLayout->addWidget(m_report);
    box->setFixedWidth(480);
    column->addWidget(box);

    m_errorLabel = new QLabel(this);
    m_errorLabel->setFont(Typography::meta());
    m_errorLabel->setWordWrap(true);
    m_errorLabel->setTextFormat(Qt::PlainText);
    m_errorLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_errorLabel->setFixedWidth(480);
    column->addWidget(m_errorLabel);

    auto* row = new QHBoxLayout;
    m_statusIcon = new QLabel(this);
    m_statusLabel = new QLabel(this);
    row->addWidget(m_statusIcon, 0, Qt::AlignVCenter);
    row->addWidget(m_statusLabel, 0, Qt::AlignVCenter);
    row->addStretch(1);
    m_apply = new QPushButton(QStringLiteral("Apply"), this);
    m_apply->setDefault(true);
    m_apply->setAutoDefault(true);
    connect(m_apply, &QPushButton::clicked, this, [this] { apply(); });
    // Apply is the window's default action. A default button only answers
    // Return inside a dialog, so the window listens for the key itself.
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (isApplyEnabled()) {
                apply();
            }
        });
    }
    row->addWidget(m_apply);
    column->addLayout(row);

    render();
}

void HooksView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    runPreview();
}

QString HooksView::reportText() const
{
    if (m_result) {
        return *m_result;
    }
    if (m_preview) {
        return *m_preview;
    }
    return QStringLiteral("Checking\u2026");
}

std::optional<QString> HooksView::statusText() const
{
    if (m_result) {
        return QStringLiteral("Done. Restart running Claude Code and Codex sessions.");
    }
    if (m_preview && !m_preview->contains(dryRunMarker)) {
        return QStringLiteral("Already set up");
    }
    return std::nullopt;
}

bool HooksView::isApplyEnabled() const
{
    return m_preview && m_preview->contains(dryRunMarker) && !m_working && !m_result;
}

QCoro::Task<> HooksView::runPreview()
{
    QPointer<HooksView> self(this);
    RelayMonitor* monitor = m_environment.monitor;
    if (!monitor) {
        co_return;
    }
    const RelayInstaller installer = monitor->installer();
    // Built before the co_await: GCC 12 miscompiles braced literals inside it.
    QStringList arguments;
    arguments << QStringLiteral("install-hooks") << QStringLiteral("--dry-run");
    try {
        const QString output = co_await installer.runRelay(arguments);
        if (self) {
            self->m_preview = output;
        }
    } catch (const Error& error) {
        if (self) {
            self->m_error = error.description();
        }
    }
    if (self) {
        self->render();
    }
}

QCoro::Task<> HooksView::apply()
{
    QPointer<HooksView> self(this);
    RelayMonitor* monitor = m_environment.monitor;
    if (!monitor || !isApplyEnabled()) {
        co_return;
    }
    m_working = true;
    render();
    const RelayInstaller installer = monitor->installer();
    QStringList arguments;
    arguments << QStringLiteral("install-hooks");
    try {
        const QString output = co_await installer.runRelay(arguments);
        if (self) {
            self->m_result = output;
        }
    } catch (const Error& error) {
        if (self) {
            self->m_error = error.description();
        }
    }
    if (self) {
        self->m_working = false;
        self->render();
    }
}

void HooksView::render()
{
    const QString report = reportText();
    if (m_report->toPlainText() != report) {
        m_report->setPlainText(report);
    }
    m_errorLabel->setVisible(m_error.has_value());
    m_errorLabel->setText(m_error.value_or(QString()));
    QPalette errorPalette = m_errorLabel->palette();
    errorPalette.setColor(QPalette::WindowText, tint(SessionStatus::failed).resolved(this));
    m_errorLabel->setPalette(errorPalette);

    const std::optional<QString> status = statusText();
    m_statusIcon->setVisible(status.has_value());
    m_statusLabel->setVisible(status.has_value());
    if (status) {
        const QColor finished = tint(SessionStatus::finished).resolved(this);
        const int side = QFontMetrics(font()).height();
        m_statusIcon->setPixmap(
            SymbolCatalogue::pixmap(QStringLiteral("checkmark.circle.fill"), side, finished, devicePixelRatioF()));
        m_statusLabel->setText(*status);
        QPalette palette = m_statusLabel->palette();
        palette.setColor(QPalette::WindowText, finished);
        m_statusLabel->setPalette(palette);
    }
    m_apply->setEnabled(isApplyEnabled());
}

} // namespace vesperline
