#pragma once

#include <QLabel>

namespace vesperline {

// A one-line label that shortens its text with an ellipsis to the width it
// is given, instead of clipping it or asking for more room.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(Qt::TextElideMode mode = Qt::ElideRight, QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return m_fullText; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void elide();

    QString m_fullText;
    Qt::TextElideMode m_mode;
};

} // namespace vesperline
