#include "menu/menu_bar_icon.h"

#include "design/color.h"
#include "design/palette.h"
#include "design/symbol_catalogue.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

using namespace idlewyn;

namespace vesperline {

QString iconSymbolName(IconState state)
{
    return state == IconState::down ? QStringLiteral("moon") : QStringLiteral("moon.stars.fill");
}

bool isTemplateIcon(IconState state)
{
    return state == IconState::down || state == IconState::idle;
}

namespace {

// A tray cannot tell an icon what it is drawn on (a dark bar under a light
// desktop theme is common), so every glyph carries a faint one-pixel halo in
// the contrasting colour: it reads on a light bar and on a dark one.
QImage glyphWithHalo(const QString& name, int side, const QColor& color)
{
    QImage result(side, side, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    const int inner = side - 2;
    const QImage glyph = SymbolCatalogue::image(name, inner, color);
    if (glyph.isNull()) {
        return {};
    }
    const QColor contrast = qGray(color.rgb()) < 128 ? QColor(255, 255, 255) : QColor(0, 0, 0);
    const QImage outline = SymbolCatalogue::image(name, inner, contrast);
    QImage halo(side, side, QImage::Format_ARGB32_Premultiplied);
    halo.fill(Qt::transparent);
    {
        QPainter painter(&halo);
        for (int dx = 0; dx <= 2; ++dx) {
            for (int dy = 0; dy <= 2; ++dy) {
                painter.drawImage(dx, dy, outline);
            }
        }
    }
    QPainter painter(&result);
    painter.setOpacity(0.45);
    painter.drawImage(0, 0, halo);
    painter.setOpacity(1.0);
    painter.drawImage(1, 1, glyph);
    return result;
}

} // namespace

QIcon makeIcon(IconState state, const QColor& templateColor, const QPalette& tray)
{
    const QString name = iconSymbolName(state);
    QColor color = templateColor;
    if (!isTemplateIcon(state)) {
        const Color& tintColor =
            state == IconState::working ? tint(SessionStatus::working) : tint(SessionStatus::waitingForInput);
        color = tintColor.resolved(tray);
    }
    // A symbol the catalogue lacks gives an empty (invisible) icon, not a failure.
    QIcon icon;
    for (int side : {16, 20, 22, 24, 32, 44, 48, 64}) {
        const QImage image = glyphWithHalo(name, side, color);
        if (!image.isNull()) {
            icon.addPixmap(QPixmap::fromImage(image));
        }
    }
    return icon;
}

} // namespace vesperline
