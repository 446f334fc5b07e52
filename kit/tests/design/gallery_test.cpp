// Renders every glyph and component, light and dark, into PNG files under
// <build>/design-gallery/ for people to look at. It also proves that the
// glyphs embedded in the static library are reachable from a program that
// only links it.
#include "design/activity_line.h"
#include "design/elapsed_label.h"
#include "design/night_mode.h"
#include "design/palette.h"
#include "design/provider_badge.h"
#include "design/spacing.h"
#include "design/status_indicator.h"
#include "design/symbol_catalogue.h"
#include "design/task_progress_view.h"
#include "design/typography.h"
#include "design_test_support.h"
#include "model/agent_session.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

using namespace idlewyn;

namespace {

QString galleryDirectory()
{
    const QString directory = QStringLiteral(VESPERLINE_BINARY_DIR "/design-gallery");
    QDir().mkpath(directory);
    return directory;
}

struct Theme {
    const char* name;
    QPalette palette;
};

QList<Theme> themes()
{
    return {{"light", test::lightPalette()}, {"dark", test::darkPalette()}};
}

// One row per glyph: its name, the glyph at 14, 20 and 28 px in the text
// colour, at 28 in two status tints, and large at 96 px to judge its drawing.
QImage glyphSheet(const QPalette& palette)
{
    const QStringList names = SymbolCatalogue::names();
    const int rowHeight = 104;
    QImage sheet(760, 16 + rowHeight * int(names.size()), QImage::Format_ARGB32);
    sheet.fill(palette.color(QPalette::Window));
    QPainter painter(&sheet);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(Typography::body());
    const QColor ink = palette.color(QPalette::WindowText);
    const Appearance appearance = appearanceOf(palette);
    int y = 8;
    for (const QString& name : names) {
        painter.setPen(ink);
        painter.drawText(QRectF(12, y, 300, rowHeight), Qt::AlignVCenter, name);
        qreal x = 330;
        for (int size : {14, 20, 28}) {
            SymbolCatalogue::paint(painter, QRectF(x, y + (rowHeight - size) / 2.0, size, size), name, ink);
            x += size + 16;
        }
        for (const Color* tinted : {&Palette::Status::working(), &Palette::Status::waiting()}) {
            SymbolCatalogue::paint(painter, QRectF(x, y + (rowHeight - 28) / 2.0, 28, 28), name,
                                   tinted->resolved(appearance));
            x += 28 + 16;
        }
        painter.fillRect(QRectF(x, y + 4, 96, 96), palette.color(QPalette::Base));
        SymbolCatalogue::paint(painter, QRectF(x, y + 4, 96, 96), name, ink);
        y += rowHeight;
    }
    return sheet;
}

QLabel* caption(const QString& text)
{
    auto* label = new QLabel(text);
    label->setFont(Typography::metaStrong());
    return label;
}

QWidget* componentSheet(const QPalette& palette)
{
    auto* page = new QWidget;
    page->setPalette(palette);
    page->setAutoFillBackground(true);
    page->setFixedWidth(520);
    auto* column = new QVBoxLayout(page);
    column->setSpacing(Spacing::s);
    column->setContentsMargins(Spacing::m, Spacing::m, Spacing::m, Spacing::m);

    column->addWidget(caption(QStringLiteral("StatusIndicator at 14, 20, 28")));
    for (int size : {StatusIconSize::small, StatusIconSize::medium, StatusIconSize::large}) {
        auto* row = new QHBoxLayout;
        for (SessionStatus status : SessionStatuses::allCases()) {
            row->addWidget(new StatusIndicator(status, size));
            auto* name = new QLabel(label(status));
            name->setFont(Typography::meta());
            row->addWidget(name);
        }
        row->addStretch();
        column->addLayout(row);
    }

    column->addWidget(caption(QStringLiteral("ProviderBadge compact / full")));
    auto* badges = new QHBoxLayout;
    for (AgentProvider provider : AgentProviders::allCases()) {
        badges->addWidget(new ProviderBadge(provider, true));
        badges->addWidget(new ProviderBadge(provider, false));
    }
    badges->addStretch();
    column->addLayout(badges);

    column->addWidget(caption(QStringLiteral("TaskProgressView 3/5, 7/5, 3/0, 12/40")));
    auto* progress = new QHBoxLayout;
    progress->addWidget(new TaskProgressView(3, 5, tint(SessionStatus::working)));
    progress->addWidget(new TaskProgressView(7, 5, tint(SessionStatus::finished)));
    progress->addWidget(new TaskProgressView(3, 0, tint(SessionStatus::waitingForInput)));
    progress->addWidget(new TaskProgressView(12, 40, tint(SessionStatus::failed)));
    progress->addStretch();
    column->addLayout(progress);

    column->addWidget(caption(QStringLiteral("ElapsedLabel: timer 65 s, 3725 s; relative 3 min, 2 h, 1 day")));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    auto* elapsed = new QHBoxLayout;
    for (qint64 seconds : {65, 3725}) {
        auto* timer = new ElapsedLabel(now.addSecs(-seconds), now);
        timer->setFont(Typography::number());
        timer->setForeground(tint(SessionStatus::working));
        elapsed->addWidget(timer);
    }
    for (qint64 seconds : {180, 7200, 90000}) {
        auto* relative = new ElapsedLabel(std::nullopt, now.addSecs(-seconds));
        relative->setFont(Typography::number());
        relative->setForeground(FillStyle::secondary());
        elapsed->addWidget(relative);
    }
    elapsed->addStretch();
    column->addLayout(elapsed);

    column->addWidget(caption(QStringLiteral("ActivityLine: icon, compact, elided, gradient")));
    const QString command = QStringLiteral("npm run test -- --watch=false src/features/checkout/checkout_flow.test.ts");
    column->addWidget(new ActivityLine(command, FillStyle::secondary(), true, false));
    column->addWidget(new ActivityLine(command, FillStyle::secondary(), true, true));
    auto* narrow = new ActivityLine(command, tint(SessionStatus::working), false, false);
    narrow->setFixedWidth(220);
    column->addWidget(narrow);
    QLinearGradient gradient(0, 0, 1, 0);
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    gradient.setColorAt(0, Palette::Status::working().resolved(appearanceOf(palette)));
    gradient.setColorAt(1, Palette::Status::failed().resolved(appearanceOf(palette)));
    column->addWidget(new ActivityLine(QStringLiteral("cargo build --release"), gradient, true, false));

    column->addWidget(caption(QStringLiteral("Session row, then the same row in night mode (right: hidden at night)")));
    for (bool night : {false, true}) {
        auto* card = new QWidget;
        card->setAutoFillBackground(true);
        auto* row = new QHBoxLayout(card);
        row->setSpacing(Spacing::s);
        row->addWidget(new StatusIndicator(SessionStatus::waitingForInput, StatusIconSize::small), 0, Qt::AlignTop);
        auto* text = new QVBoxLayout;
        text->setSpacing(Spacing::hairline);
        auto* title = new QHBoxLayout;
        auto* project = new QLabel(QStringLiteral("vesperline"));
        project->setFont(Typography::rowTitleCompact());
        title->addWidget(project);
        title->addWidget(new ProviderBadge(AgentProvider::claude, true));
        title->addStretch();
        text->addLayout(title);
        text->addWidget(new ActivityLine(QStringLiteral("pytest -q tests/test_relay.py"), FillStyle::secondary()));
        text->addWidget(new TaskProgressView(2, 6, tint(SessionStatus::waitingForInput)));
        row->addLayout(text, 1);
        auto* banner = new QLabel(QStringLiteral("Needs input"));
        banner->setFont(Typography::number());
        QPalette bannerPalette = banner->palette();
        bannerPalette.setColor(QPalette::WindowText, Palette::Status::waiting().resolved(appearanceOf(palette)));
        banner->setPalette(bannerPalette);
        row->addWidget(banner, 0, Qt::AlignTop);
        hiddenAtNight(banner);
        nightMode(card, night);
        column->addWidget(card);
    }

    column->addWidget(caption(QStringLiteral("Sky, ink, moon, night red; OnDark text on the sky")));
    auto* sky = new QLabel(QStringLiteral("  Vesperline  ·  2 need you · 1 working"));
    sky->setFont(Typography::title());
    sky->setFixedHeight(56);
    QPalette skyPalette = sky->palette();
    skyPalette.setBrush(QPalette::Window, QBrush(Palette::sky()));
    skyPalette.setColor(QPalette::WindowText, Palette::OnDark::primary());
    sky->setPalette(skyPalette);
    sky->setAutoFillBackground(true);
    column->addWidget(sky);
    column->addStretch();
    return page;
}

} // namespace

TEST(GalleryTest, RendersEveryGlyphAndComponentInLightAndDark)
{
    const QString directory = galleryDirectory();
    for (const Theme& theme : themes()) {
        const QImage glyphs = glyphSheet(theme.palette);
        EXPECT_TRUE(glyphs.save(directory + QStringLiteral("/glyphs-%1.png").arg(theme.name)));

        std::unique_ptr<QWidget> page(componentSheet(theme.palette));
        page->adjustSize();
        const QImage components = test::render(*page);
        EXPECT_TRUE(components.save(directory + QStringLiteral("/components-%1.png").arg(theme.name)));
    }
}
