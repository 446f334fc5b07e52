#include "menu/placeholder_view.h"

#include "design/fill_style.h"
#include "design/spacing.h"
#include "design/symbol_catalogue.h"
#include "design/typography.h"

#include <QLabel>
#include <QVBoxLayout>

using namespace idlewyn;

namespace vesperline {

PlaceholderView::PlaceholderView(const QString& symbol, const QString& title, const QString& description,
                                 QWidget* parent)
    : QWidget(parent)
    , m_symbol(symbol)
{
    auto* column = new QVBoxLayout(this);
    column->setSpacing(Spacing::s);
    column->addStretch(1);
    auto* glyph = new QLabel(this);
    const QColor dimmed = FillStyle::secondary().brush(this).color();
    glyph->setPixmap(SymbolCatalogue::pixmap(symbol, 40, dimmed, devicePixelRatioF()));
    glyph->setAlignment(Qt::AlignHCenter);
    column->addWidget(glyph);
    m_title = new QLabel(title, this);
    m_title->setFont(Typography::title());
    m_title->setAlignment(Qt::AlignHCenter);
    column->addWidget(m_title);
    m_description = new QLabel(description, this);
    m_description->setAlignment(Qt::AlignHCenter);
    m_description->setWordWrap(true);
    QPalette palette = m_description->palette();
    palette.setColor(QPalette::WindowText, dimmed);
    m_description->setPalette(palette);
    m_description->setVisible(!description.isEmpty());
    column->addWidget(m_description);
    column->addStretch(1);
}

QString PlaceholderView::title() const
{
    return m_title->text();
}

QString PlaceholderView::description() const
{
    return m_description->text();
}

} // namespace vesperline
