#include "menu/hooks_view.h"

#include "design/palette.h"
#include "design/spacing.h"
#include "design/symbol_catalogue.h"
#include "design/typography.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

using namespace idlewyn;

namespace vesperline {

HooksView::HooksView(const AppEnvironment& environment, QWidget* parent)
    : QWidget(parent)
    , m_model(*environment.monitor)
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
    connect(m_apply, &QPushButton::clicked, this, [this] { m_model.apply(); });
    // Apply is the window's default action. A default button only answers
    // Return inside a dialog, so the window listens for the key itself.
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] { m_model.apply(); });
    }
    row->addWidget(m_apply);
    column->addLayout(row);

    connect(&m_model, &HooksModel::changed, this, &HooksView::render);
    render();
}

void HooksView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_model.runPreview();
}

void HooksView::render()
{
    const QString report = m_model.reportText();
    if (m_report->toPlainText() != report) {
        m_report->setPlainText(report);
    }
    const std::optional<QString>& error = m_model.error();
    m_errorLabel->setVisible(error.has_value());
    m_errorLabel->setText(error.value_or(QString()));
    QPalette errorPalette = m_errorLabel->palette();
    errorPalette.setColor(QPalette::WindowText, tint(SessionStatus::failed).resolved(this));
    m_errorLabel->setPalette(errorPalette);

    const std::optional<QString> status = m_model.statusText();
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
    m_apply->setEnabled(m_model.isApplyEnabled());
}

} // namespace vesperline
