#include "menu/menu_bar_icon.h"

#include "design/color.h"
#include "design/palette.h"
#include "design/symbol_catalogue.h"

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

QIcon makeIcon(IconState state, const QColor& templateColor, const QPalette& tray)
{
    const QString name = iconSymbolName(state);
    QIcon icon;
    if (isTemplateIcon(state)) {
        icon = SymbolCatalogue::icon(name, templateColor);
    } else {
        const Color& tintColor = state == IconState::working ? tint(SessionStatus::working)
                                                              : tint(SessionStatus::waitingForInput);
        icon = SymbolCatalogue::icon(name, tintColor.resolved(tray));
    }
    // A symbol the catalogue lacks gives an empty (invisible) icon, not a failure.
    return icon;
}

} // namespace vesperline
