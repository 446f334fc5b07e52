#include "design/symbol_catalogue.h"

#include "design/palette.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QPaintDevice>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <memory>

// Outside any namespace, as Q_INIT_RESOURCE requires. Calling it makes the
// linker keep the glyphs when the library is linked statically.
static void initialiseSymbolResources()
{
    Q_INIT_RESOURCE(symbols);
}

namespace idlewyn {

namespace {

const QString& symbolDirectory()
{
    static const QString directory = [] {
        initialiseSymbolResources();
        return QStringLiteral(":/idlewyn/symbols/");
    }();
    return directory;
}

qreal strokeScale(SymbolWeight weight)
{
    switch (weight) {
    case SymbolWeight::regular:
        return 1.0;
    case SymbolWeight::medium:
        return 1.08;
    case SymbolWeight::semibold:
        return 1.16;
    case SymbolWeight::bold:
        break;
    }
    return 1.28;
}

QByteArray weighted(const QByteArray& svg, SymbolWeight weight)
{
    if (weight == SymbolWeight::regular) {
        return svg;
    }
    static const QRegularExpression strokeWidth(QStringLiteral("stroke-width=\"([0-9.]+)\""));
    const qreal scale = strokeScale(weight);
    QString text = QString::fromUtf8(svg);
    QString result;
    qsizetype last = 0;
    for (auto it = strokeWidth.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        result += QStringView(text).mid(last, match.capturedStart() - last);
        result += QStringLiteral("stroke-width=\"%1\"").arg(match.captured(1).toDouble() * scale, 0, 'f', 3);
        last = match.capturedEnd();
    }
    result += QStringView(text).mid(last);
    return result.toUtf8();
}

QString cacheKey(const QString& name, SymbolWeight weight, int pixelSize = 0)
{
    return name + QLatin1Char('#') + QString::number(int(weight)) + QLatin1Char('@') + QString::number(pixelSize);
}

// One parsed renderer per glyph and weight.
QSvgRenderer* renderer(const QString& name, SymbolWeight weight)
{
    static QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;
    const QString key = cacheKey(name, weight);
    if (const auto found = renderers.constFind(key); found != renderers.cend()) {
        return found->get();
    }
    QFile file(symbolDirectory() + name + QStringLiteral(".svg"));
    if (name.contains(QLatin1Char('/')) || !file.open(QIODevice::ReadOnly)) {
        return nullptr;
    }
    auto svg = std::make_shared<QSvgRenderer>(weighted(file.readAll(), weight));
    if (!svg->isValid()) {
        return nullptr;
    }
    renderers.insert(key, svg);
    return svg.get();
}

// How much ink covers each pixel: the glyph drawn black on transparent,
// with its white parts taken out again. In premultiplied ARGB a pixel's ink
// is its alpha minus its (premultiplied) brightness, which also keeps the
// anti-aliased edge between ink and a cut-out.
QImage coverage(const QString& name, int pixelSize, SymbolWeight weight)
{
    static QHash<QString, QImage> masks;
    const QString key = cacheKey(name, weight, pixelSize);
    if (const auto found = masks.constFind(key); found != masks.cend()) {
        return *found;
    }
    QSvgRenderer* svg = renderer(name, weight);
    if (!svg) {
        return {};
    }
    QImage canvas(pixelSize, pixelSize, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::Antialiasing);
        svg->render(&painter, QRectF(0, 0, pixelSize, pixelSize));
    }
    QImage mask(pixelSize, pixelSize, QImage::Format_Alpha8);
    for (int y = 0; y < pixelSize; ++y) {
        const auto* source = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
        uchar* target = mask.scanLine(y);
        for (int x = 0; x < pixelSize; ++x) {
            target[x] = uchar(std::max(0, qAlpha(source[x]) - qGreen(source[x])));
        }
    }
    // Sizes in use are few; a runaway caller must not grow this without end.
    if (masks.size() >= 512) {
        masks.clear();
    }
    masks.insert(key, mask);
    return mask;
}

class SymbolIconEngine final : public QIconEngine {
public:
    SymbolIconEngine(QString name, QColor color, SymbolWeight weight)
        : m_name(std::move(name))
        , m_color(std::move(color))
        , m_weight(weight)
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        SymbolCatalogue::paint(*painter, rect, m_name, colorFor(mode), m_weight);
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        // Before Qt 6.8, QIcon passed the size already in device pixels.
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
        const QSize pixels = size;
#else
        const QSize pixels = size * scale;
#endif
        if (pixels.isEmpty()) {
            return {};
        }
        QPixmap result(pixels);
        result.fill(Qt::transparent);
        const int side = std::min(pixels.width(), pixels.height());
        const QImage glyph = SymbolCatalogue::image(m_name, side, colorFor(mode), m_weight);
        {
            QPainter painter(&result);
            painter.drawImage(QPoint((pixels.width() - side) / 2, (pixels.height() - side) / 2), glyph);
        }
        result.setDevicePixelRatio(scale);
        return result;
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        // Drawn at any size; these are offered to hosts that pick from a list
        // (tray protocols).
        return {QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32), QSize(48, 48), QSize(64, 64)};
    }

    QString key() const override
    {
        return QStringLiteral("idlewyn.symbol");
    }
    QString iconName() override
    {
        return m_name;
    }
    bool isNull() override
    {
        return !SymbolCatalogue::contains(m_name);
    }
    QIconEngine* clone() const override
    {
        return new SymbolIconEngine(m_name, m_color, m_weight);
    }

private:
    QColor colorFor(QIcon::Mode mode) const
    {
        QColor color = m_color;
        if (mode == QIcon::Disabled) {
            color.setAlphaF(color.alphaF() * float(Palette::disabledOpacity));
        }
        return color;
    }

    QString m_name;
    QColor m_color;
    SymbolWeight m_weight;
};

} // namespace

namespace SymbolCatalogue {

QStringList names()
{
    static const QStringList all = [] {
        QStringList result;
        const QStringList files = QDir(symbolDirectory()).entryList({QStringLiteral("*.svg")}, QDir::Files, QDir::Name);
        for (const QString& file : files) {
            result << file.chopped(4);
        }
        result.sort();
        return result;
    }();
    return all;
}

bool contains(const QString& name)
{
    return names().contains(name);
}

QImage image(const QString& name, int pixelSize, const QBrush& fill, SymbolWeight weight)
{
    if (pixelSize < 1 || !contains(name)) {
        return {};
    }
    const QImage mask = coverage(name, pixelSize, weight);
    if (mask.isNull()) {
        return {};
    }
    QImage result(pixelSize, pixelSize, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.fillRect(result.rect(), fill);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    painter.drawImage(0, 0, mask);
    return result;
}

QPixmap pixmap(const QString& name, int logicalSize, const QBrush& fill, qreal devicePixelRatio, SymbolWeight weight)
{
    const QImage glyph = image(name, qRound(logicalSize * devicePixelRatio), fill, weight);
    if (glyph.isNull()) {
        return {};
    }
    QPixmap result = QPixmap::fromImage(glyph);
    result.setDevicePixelRatio(devicePixelRatio);
    return result;
}

void paint(QPainter& painter, const QRectF& rect, const QString& name, const QBrush& fill, SymbolWeight weight)
{
    const qreal side = std::min(rect.width(), rect.height());
    if (side <= 0 || !contains(name)) {
        return;
    }
    // Whole logical pixels keep a small glyph's strokes on the pixel grid.
    const QRectF square(std::round(rect.center().x() - side / 2), std::round(rect.center().y() - side / 2), side, side);
    const qreal scale = std::sqrt(std::abs(painter.deviceTransform().determinant()));
    const int pixels = std::max(1, qRound(side * scale));

    QBrush brush = fill;
    if (brush.gradient() && brush.gradient()->coordinateMode() == QGradient::LogicalMode) {
        // A gradient in the caller's coordinates must line up with the glyph's
        // place there, not with the corner of the glyph's own image.
        const qreal toPixels = pixels / side;
        brush.setTransform(brush.transform() * QTransform::fromTranslate(-square.x(), -square.y())
                           * QTransform::fromScale(toPixels, toPixels));
    }
    const QImage glyph = image(name, pixels, brush, weight);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(square, glyph);
    painter.restore();
}

QIcon icon(const QString& name, const QColor& color, SymbolWeight weight)
{
    if (!contains(name)) {
        return {};
    }
    return QIcon(new SymbolIconEngine(name, color, weight));
}

QIcon templateIcon(const QString& name, SymbolWeight weight)
{
    QIcon result = icon(name, Qt::black, weight);
    if (!result.isNull()) {
        result.setIsMask(true);
    }
    return result;
}

} // namespace SymbolCatalogue

} // namespace idlewyn
