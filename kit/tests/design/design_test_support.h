#pragma once

// Palettes and pixel helpers shared by the design suites.
#include <QColor>
#include <QHash>
#include <QImage>
#include <QLayout>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cstdlib>

namespace idlewyn::test {

inline QPalette lightPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0xEC, 0xEC, 0xEC));
    palette.setColor(QPalette::WindowText, QColor(0x1D, 0x1D, 0x1F));
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, QColor(0x1D, 0x1D, 0x1F));
    palette.setColor(QPalette::Button, QColor(0xF5, 0xF5, 0xF5));
    palette.setColor(QPalette::ButtonText, QColor(0x1D, 0x1D, 0x1F));
    return palette;
}

inline QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0x1E, 0x1E, 0x20));
    palette.setColor(QPalette::WindowText, QColor(0xF2, 0xF2, 0xF7));
    palette.setColor(QPalette::Base, QColor(0x2C, 0x2C, 0x2E));
    palette.setColor(QPalette::Text, QColor(0xF2, 0xF2, 0xF7));
    palette.setColor(QPalette::Button, QColor(0x3A, 0x3A, 0x3C));
    palette.setColor(QPalette::ButtonText, QColor(0xF2, 0xF2, 0xF7));
    return palette;
}

// Lays out a widget that was never shown: nested layouts of hidden widgets
// otherwise wait for a show that an offscreen render never does.
inline void settleLayouts(QWidget& root)
{
    for (int pass = 0; pass < 2; ++pass) {
        if (root.layout()) {
            root.layout()->activate();
        }
        for (QWidget* child : root.findChildren<QWidget*>()) {
            if (child->layout()) {
                child->layout()->activate();
            }
        }
    }
}

// Renders a widget (and its children, effects included) at scale 1.
inline QImage render(QWidget& widget)
{
    widget.ensurePolished();
    widget.resize(widget.size().isEmpty() ? widget.sizeHint() : widget.size());
    settleLayouts(widget);
    QImage image = widget.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    image.setDevicePixelRatio(1);
    return image;
}

// Largest per-channel difference between two colours.
inline int colorDistance(const QColor& a, const QColor& b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

// The colour most opaque pixels of the image have, leaving out those close
// to `ignore` (the background).
inline QColor dominantColor(const QImage& image, const QColor& ignore)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor color = image.pixelColor(x, y);
            if (color.alpha() == 255 && colorDistance(color, ignore) > 8) {
                ++counts[color.rgb()];
            }
        }
    }
    QRgb best = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            best = it.key();
        }
    }
    return most ? QColor::fromRgb(best) : QColor();
}

} // namespace idlewyn::test

// Readable QStrings in failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QColor& color, std::ostream* out)
{
    *out << color.name(QColor::HexArgb).toStdString();
}
