#pragma once

#include "menu/app_environment.h"

#include <QImage>
#include <QWidget>
#include <optional>

class QLabel;
class QStackedLayout;

namespace vesperline {

// The pairing window: the relay's pairing link as a QR code for the phone's
// camera, with the relay URL it carries and the pairing code; a placeholder
// while the relay does not answer. Follows the monitor's polls.
class PairView : public QWidget {
    Q_OBJECT

public:
    explicit PairView(const AppEnvironment& environment, QWidget* parent = nullptr);

    // The relay URL shown for a pairing link: the value of its first "url"
    // query item, or the whole link when there is none.
    static QString relayUrl(const QString& pairingLink);

    bool showsPairing() const;
    // The QR bitmap shown (one pixel per module); null with the placeholder.
    const QImage& qrImage() const { return m_qr; }
    QString shownRelayUrl() const;
    QString shownCode() const;

    void render();

private:
    AppEnvironment m_environment;
    QStackedLayout* m_stack;
    QWidget* m_pairing;
    QWidget* m_placeholder;
    QLabel* m_qrLabel;
    QLabel* m_url;
    QLabel* m_code;
    QImage m_qr;
};

} // namespace vesperline
