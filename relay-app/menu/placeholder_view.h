#pragma once

#include <QString>
#include <QWidget>

class QLabel;

namespace vesperline {

// The standard look for content that is not available: a large dimmed
// symbol, a title and an optional description, centred.
class PlaceholderView : public QWidget {
    Q_OBJECT

public:
    PlaceholderView(const QString& symbol, const QString& title, const QString& description = {},
                    QWidget* parent = nullptr);

    const QString& symbol() const { return m_symbol; }
    QString title() const;
    QString description() const;

private:
    QString m_symbol;
    QLabel* m_title;
    QLabel* m_description;
};

} // namespace vesperline
