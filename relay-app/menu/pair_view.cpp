#include "menu/pair_view.h"

#include "menu/placeholder_view.h"
#include "menu/qr_image.h"

#include "design/fill_style.h"
#include "design/spacing.h"
#include "design/typography.h"
#include "supervisor/relay_monitor.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QStackedLayout>
#include <QUrlQuery>
#include <QVBoxLayout>

using namespace idlewyn;

namespace vesperline {

namespace {

constexpr int qrSide = 240;
constexpr int qrPadding = 12;

// The code on a white card, so it scans in a dark theme too.
class QrCard : public QWidget {
public:
    explicit QrCard(QLabel* image, QWidget* parent)
        : QWidget(parent)
    {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(qrPadding, qrPadding, qrPadding, qrPadding);
        layout->addWidget(image);
        setFixedSize(qrSide + 2 * qrPadding, qrSide + 2 * qrPadding);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath card;
        card.addRoundedRect(QRectF(rect()), Radius::card, Radius::card);
        painter.fillPath(card, Qt::white);
    }
};

QLabel* secondaryLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(Typography::supporting());
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, FillStyle::secondary().brush(parent).color());
    label->setPalette(palette);
    return label;
}

} // namespace

PairView::PairView(const AppEnvironment& environment, QWidget* parent)
    : QWidget(parent)
    , m_environment(environment)
{
    setWindowTitle(QStringLiteral("Pair a Phone"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(Spacing::xl, Spacing::xl, Spacing::xl, Spacing::xl);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    auto* stackHost = new QWidget(this);
    stackHost->setFixedWidth(360);
    m_stack = new QStackedLayout(stackHost);
    outer->addWidget(stackHost);

    m_pairing = new QWidget(stackHost);
    auto* column = new QVBoxLayout(m_pairing);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(Spacing::l);
    m_qrLabel = new QLabel;
    m_qrLabel->setFixedSize(qrSide, qrSide);
    m_qrLabel->setScaledContents(false);
    column->addWidget(new QrCard(m_qrLabel, m_pairing), 0, Qt::AlignHCenter);

    auto* explanation = new QLabel(
        QStringLiteral("Scan with the iPhone Camera to connect Vesperline to Claude Code and Codex."), m_pairing);
    explanation->setWordWrap(true);
    explanation->setAlignment(Qt::AlignHCenter);
    column->addWidget(explanation);

    auto* grid = new QGridLayout;
    grid->setVerticalSpacing(Spacing::s);
    grid->setHorizontalSpacing(Spacing::m);
    grid->addWidget(secondaryLabel(QStringLiteral("Relay URL"), m_pairing), 0, 0);
    m_url = new QLabel(m_pairing);
    m_url->setFont(Typography::monoBody());
    m_url->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_url->setTextFormat(Qt::PlainText);
    grid->addWidget(m_url, 0, 1);
    grid->addWidget(secondaryLabel(QStringLiteral("Pairing code"), m_pairing), 1, 0);
    m_code = new QLabel(m_pairing);
    QFont codeFont = Typography::monoBody();
    codeFont.setBold(true);
    m_code->setFont(codeFont);
    m_code->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_code->setTextFormat(Qt::PlainText);
    grid->addWidget(m_code, 1, 1);
    grid->setColumnStretch(1, 1);
    column->addLayout(grid);
    m_stack->addWidget(m_pairing);

    m_placeholder = new PlaceholderView(QStringLiteral("moon"), QStringLiteral("Relay isn\u2019t running"),
                                        QStringLiteral("Start it from the menu bar first."), stackHost);
    m_stack->addWidget(m_placeholder);

    if (m_environment.monitor) {
        connect(m_environment.monitor, &RelayMonitor::statusChanged, this, &PairView::render);
    }
    render();
}

QString PairView::relayUrl(const QString& pairingLink)
{
    const QUrl link(pairingLink);
    if (link.isValid() && link.hasQuery()) {
        // Walk the raw items: the first "url" decides, even when it has no value.
        const QStringList items = link.query(QUrl::FullyEncoded).split(u'&');
        for (const QString& item : items) {
            const qsizetype eq = item.indexOf(u'=');
            const QString name = QUrl::fromPercentEncoding((eq < 0 ? item : item.left(eq)).toUtf8());
            if (name == QStringLiteral("url")) {
                if (eq >= 0) {
                    return QUrl::fromPercentEncoding(item.mid(eq + 1).toUtf8());
                }
                break;
            }
        }
    }
    return pairingLink;
}

void PairView::render()
{
    const std::optional<Status> status = m_environment.monitor ? m_environment.monitor->status() : std::nullopt;
    std::optional<QImage> qr;
    if (status) {
        qr = makeQrImage(status->pairingLink.toUtf8());
    }
    if (status && qr) {
        m_qr = *qr;
        // Nearest neighbour keeps the modules sharp at any size.
        m_qrLabel->setPixmap(QPixmap::fromImage(m_qr.scaled(qrSide * devicePixelRatioF(), qrSide * devicePixelRatioF(),
                                                            Qt::IgnoreAspectRatio, Qt::FastTransformation)));
        m_url->setText(relayUrl(status->pairingLink));
        m_code->setText(status->pairingCode);
        m_stack->setCurrentWidget(m_pairing);
    } else {
        m_qr = QImage();
        m_stack->setCurrentWidget(m_placeholder);
    }
}

bool PairView::showsPairing() const
{
    return m_stack->currentWidget() == m_pairing;
}

QString PairView::shownRelayUrl() const
{
    return m_url->text();
}

QString PairView::shownCode() const
{
    return m_code->text();
}

} // namespace vesperline
