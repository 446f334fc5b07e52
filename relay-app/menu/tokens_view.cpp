#include "menu/tokens_view.h"

#include "menu/placeholder_view.h"

#include "design/elapsed_label.h"
#include "design/fill_style.h"
#include "design/palette.h"
#include "design/spacing.h"
#include "design/typography.h"
#include "model/json_coding.h"
#include "supervisor/relay_monitor.h"

#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedLayout>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>

using namespace idlewyn;

namespace vesperline {

namespace {
enum Column { idColumn, providerColumn, pairedColumn, lastSeenColumn, revokeColumn, columnCount };
}

TokensView::TokensView(const AppEnvironment& environment, QWidget* parent)
    : QWidget(parent)
    , m_environment(environment)
{
    setWindowTitle(QStringLiteral("Paired Phones"));
    setMinimumSize(560, 280);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(Spacing::xl, Spacing::xl, Spacing::xl, Spacing::xl);
    column->setSpacing(Spacing::m);

    auto* explanation = new QLabel(
        QStringLiteral("Each phone pairs once per provider, so a phone usually has two entries. Revoking one signs "
                       "that phone out; it can pair again with the QR code."),
        this);
    explanation->setFont(Typography::supporting());
    explanation->setWordWrap(true);
    QPalette dimmed = explanation->palette();
    dimmed.setColor(QPalette::WindowText, FillStyle::secondary().brush(this).color());
    explanation->setPalette(dimmed);
    column->addWidget(explanation);

    auto* tableHost = new QWidget(this);
    auto* stack = new QStackedLayout(tableHost);
    stack->setStackingMode(QStackedLayout::StackAll);
    m_table = new QTableWidget(0, columnCount, tableHost);
    m_table->setHorizontalHeaderLabels({QStringLiteral("ID"), QStringLiteral("Provider"), QStringLiteral("Paired"),
                                        QStringLiteral("Last seen"), QString()});
    m_table->verticalHeader()->hide();
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setFocusPolicy(Qt::NoFocus);
    QHeaderView* header = m_table->horizontalHeader();
    header->setSectionResizeMode(idColumn, QHeaderView::Fixed);
    header->setSectionResizeMode(providerColumn, QHeaderView::Fixed);
    header->setSectionResizeMode(pairedColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(lastSeenColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(revokeColumn, QHeaderView::Fixed);
    header->resizeSection(idColumn, 80);
    header->resizeSection(providerColumn, 70);
    header->resizeSection(revokeColumn, 70);
    m_empty =
        new PlaceholderView(QStringLiteral("iphone.slash"), QStringLiteral("No paired phones"), QString(), tableHost);
    stack->addWidget(m_empty);
    stack->addWidget(m_table);
    column->addWidget(tableHost, 1);

    if (m_environment.monitor) {
        connect(m_environment.monitor, &RelayMonitor::statusChanged, this, &TokensView::render);
    }
    render();
}

QList<PairedToken> TokensView::orderedTokens(const QList<PairedToken>& tokens)
{
    // Sort positions rather than records: cheaper, and equal keys keep the
    // relay's order.
    QList<qsizetype> order(tokens.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&tokens](qsizetype a, qsizetype b) {
        return tokens[a].createdAt.value_or(QString()) < tokens[b].createdAt.value_or(QString());
    });
    QList<PairedToken> ordered;
    ordered.reserve(tokens.size());
    for (qsizetype index : order) {
        ordered.append(tokens[index]);
    }
    return ordered;
}

QString TokensView::providerText(const std::optional<QString>& provider)
{
    if (!provider) {
        return QStringLiteral("\u2014");
    }
    QString text = provider->toLower();
    bool startOfWord = true;
    for (QChar& c : text) {
        if (c.isSpace()) {
            startOfWord = true;
        } else if (startOfWord) {
            c = c.toUpper();
            startOfWord = false;
        }
    }
    return text;
}

std::optional<QString> TokensView::relativeTime(const std::optional<QString>& timestamp, const QDateTime& now)
{
    // Whole seconds only: a fractional form is not this field's format.
    if (!timestamp || timestamp->contains(u'.')) {
        return std::nullopt;
    }
    const std::optional<QDateTime> date = json::parseISO8601(*timestamp);
    if (!date) {
        return std::nullopt;
    }
    return ElapsedLabel::relativeText(*date, now);
}

bool TokensView::showsEmptyState() const
{
    return m_empty->isVisibleTo(this);
}

void TokensView::render()
{
    const std::optional<Status> status = m_environment.monitor ? m_environment.monitor->status() : std::nullopt;
    const QList<PairedToken> tokens = orderedTokens(status ? status->tokens : QList<PairedToken>{});
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QColor secondary = FillStyle::secondary().brush(this).color();

    m_table->setRowCount(static_cast<int>(tokens.size()));
    for (int row = 0; row < tokens.size(); ++row) {
        const PairedToken& token = tokens.at(row);
        auto* id = new QTableWidgetItem(token.id);
        id->setFont(Typography::monoBody());
        m_table->setItem(row, idColumn, id);
        m_table->setItem(row, providerColumn, new QTableWidgetItem(providerText(token.provider)));
        m_table->setItem(row, pairedColumn,
                         new QTableWidgetItem(relativeTime(token.createdAt, now).value_or(QStringLiteral("Unknown"))));
        const std::optional<QString> lastSeen = relativeTime(token.lastSeenAt, now);
        auto* lastSeenItem = new QTableWidgetItem(lastSeen.value_or(QStringLiteral("Not since relay start")));
        if (!lastSeen) {
            lastSeenItem->setForeground(secondary);
        }
        m_table->setItem(row, lastSeenColumn, lastSeenItem);
        auto* revoke = new QPushButton(QStringLiteral("Revoke"));
        revoke->setAccessibleName(QStringLiteral("Revoke ") + token.id);
        QPalette danger = revoke->palette();
        danger.setColor(QPalette::ButtonText, tint(SessionStatus::failed).resolved(this));
        revoke->setPalette(danger);
        connect(revoke, &QPushButton::clicked, this, [this, token] { requestRevoke(token); });
        m_table->setCellWidget(row, revokeColumn, revoke);
    }
    m_table->setVisible(!tokens.isEmpty());
    m_empty->setVisible(tokens.isEmpty());
    if (tokens.isEmpty()) {
        m_empty->raise();
    }
}

void TokensView::requestRevoke(const PairedToken& token)
{
    m_pendingRevoke = token;
    if (m_dialog) {
        m_dialog->close();
    }
    auto* dialog = new QMessageBox(QMessageBox::Warning, QStringLiteral("Revoke ") + token.id + u'?',
                                   QStringLiteral("That phone stops receiving sessions until it pairs again."),
                                   QMessageBox::NoButton, this);
    dialog->setText(QStringLiteral("Revoke ") + token.id + u'?');
    dialog->setInformativeText(QStringLiteral("That phone stops receiving sessions until it pairs again."));
    QPushButton* confirm = dialog->addButton(QStringLiteral("Revoke"), QMessageBox::DestructiveRole);
    dialog->addButton(QMessageBox::Cancel);
    dialog->setDefaultButton(QMessageBox::Cancel);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QMessageBox::finished, this, [this, dialog, confirm] {
        if (dialog->clickedButton() == confirm) {
            confirmRevoke();
        } else {
            cancelRevoke();
        }
    });
    m_dialog = dialog;
    dialog->open(); // window-modal, no nested event loop
}

void TokensView::confirmRevoke()
{
    if (m_pendingRevoke && m_environment.monitor) {
        // Started, not awaited: a failure shows in the menu's action error.
        m_environment.monitor->revoke(*m_pendingRevoke);
    }
    m_pendingRevoke.reset();
    if (m_dialog) {
        m_dialog->disconnect(this);
        m_dialog->close();
    }
}

void TokensView::cancelRevoke()
{
    m_pendingRevoke.reset();
    if (m_dialog) {
        m_dialog->disconnect(this);
        m_dialog->close();
    }
}

} // namespace vesperline
