#pragma once

#include "menu/app_environment.h"
#include "supervisor/status.h"

#include <QDateTime>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <optional>

class QLabel;

class QTableWidget;

namespace vesperline {

class PlaceholderView;

// The paired-phones window: every credential a phone holds for the relay,
// oldest pairing first, each revocable after a confirmation.
class TokensView : public QWidget {
    Q_OBJECT

public:
    explicit TokensView(const AppEnvironment& environment, QWidget* parent = nullptr);

    // The rows: the status document's tokens sorted by createdAt as text
    // (absent first), stable.
    static QList<PairedToken> orderedTokens(const QList<PairedToken>& tokens);
    // "claude" → "Claude"; every word capitalised, the rest lower-cased.
    static QString providerText(const std::optional<QString>& provider);
    // An ISO-8601 date-time with a zone and without fractional seconds,
    // relative to `now` in words; absent when absent or unparseable.
    static std::optional<QString> relativeTime(const std::optional<QString>& timestamp, const QDateTime& now);

    const std::optional<PairedToken>& pendingRevoke() const { return m_pendingRevoke; }
    // What the Revoke button of a row does: ask for confirmation.
    void requestRevoke(const PairedToken& token);
    // The confirmation dialog's two outcomes (any dismissal is a cancel).
    void confirmRevoke();
    void cancelRevoke();
    QMessageBox* confirmation() const { return m_dialog; }

    QTableWidget* table() const { return m_table; }
    bool showsEmptyState() const;

    void render();

private:
    AppEnvironment m_environment;
    std::optional<PairedToken> m_pendingRevoke;
    QTableWidget* m_table;
    PlaceholderView* m_empty;
    QPointer<QMessageBox> m_dialog;
};

} // namespace vesperline
