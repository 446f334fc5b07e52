// Drawing 200 session rows (status glyph, provider badge, activity line, task
// progress, elapsed time) with the Qt Quick front end and the Widgets one, in
// one run. Widgets paint every row into an image; Qt Quick repaints every
// component item and renders a frame of its window, read back as an image
// (the read-back alone is the third figure). Run under Xvfb for OpenGL.
#include "design/activity_line.h"
#include "design/elapsed_label.h"
#include "design/palette.h"
#include "design/provider_badge.h"
#include "design/status_indicator.h"
#include "design/task_progress_view.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickPaintedItem>
#include <QQuickWindow>
#include <QVBoxLayout>
#include <benchmark/benchmark.h>

#include <memory>

using namespace idlewyn;

namespace {

constexpr int rowCount = 200;
constexpr int rowWidth = 420;

const char* const statuses[] = {"working", "waitingForInput", "finished", "failed", "idle"};

std::unique_ptr<QWidget> widgetRows()
{
    auto window = std::make_unique<QWidget>();
    auto* column = new QVBoxLayout(window.get());
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < rowCount; ++i) {
        const SessionStatus status = sessionStatusFromRawValue(QString::fromLatin1(statuses[i % 5])).value();
        auto* row = new QHBoxLayout;
        row->addWidget(new StatusIndicator(status, 20));
        row->addWidget(new ProviderBadge(i % 3 ? AgentProvider::claude : AgentProvider::codex, true));
        row->addWidget(new ActivityLine(QStringLiteral("Bash: npm test -- --filter module-%1").arg(i),
                                        FillStyle::secondary(), true),
                       1);
        row->addWidget(new TaskProgressView(i % 4, 5, tint(status)));
        row->addWidget(new ElapsedLabel(now.addSecs(-i * 17), now));
        column->addLayout(row);
    }
    window->resize(rowWidth, window->sizeHint().height());
    window->show();
    QCoreApplication::processEvents();
    return window;
}

const char* const quickRows = R"(
import QtQuick
import Idlewyn.Design

Column {
    width: 420
    Repeater {
        model: 200
        Row {
            required property int index
            spacing: 6
            StatusIndicator { status: ["working", "waitingForInput", "finished", "failed", "idle"][index % 5]; size: 20 }
            ProviderBadge { provider: index % 3 ? "claude" : "codex"; compact: true }
            ActivityLine { width: 160; text: "Bash: npm test -- --filter module-" + index; style: "secondary"; showsIcon: true }
            TaskProgressView { done: index % 4; total: 5 }
            ElapsedLabel { runningSince: new Date(Date.now() - index * 17000); updatedAt: new Date() }
        }
    }
}
)";

struct QuickRows {
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QQuickItem> root;
    QList<QQuickPaintedItem*> painted;

    QuickRows()
    {
        QQmlComponent component(&engine);
        component.setData(quickRows, QUrl::fromLocalFile(QStringLiteral("/bench/rows.qml")));
        if (!component.isReady()) {
            qFatal("%s", qPrintable(component.errorString()));
        }
        root.reset(qobject_cast<QQuickItem*>(component.create()));
        root->setParentItem(window.contentItem());
        window.resize(int(root->width()), int(root->height()));
        window.show();
        // Delegates belong to the item tree, not to the QObject tree under root.
        QList<QQuickItem*> pending{root.get()};
        while (!pending.isEmpty()) {
            QQuickItem* item = pending.takeLast();
            if (auto* drawn = qobject_cast<QQuickPaintedItem*>(item)) {
                painted << drawn;
            }
            pending += item->childItems();
        }
        window.grabWindow();
    }
};

void widgetsDrawRows(benchmark::State& state)
{
    const auto window = widgetRows();
    QImage image(window->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        window->render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void quickDrawRows(benchmark::State& state)
{
    QuickRows rows;
    for (auto _ : state) {
        for (QQuickPaintedItem* item : std::as_const(rows.painted)) {
            item->update();
        }
        benchmark::DoNotOptimize(rows.window.grabWindow());
    }
    state.counters["items"] = double(rows.painted.size());
}

void quickReadBackOnly(benchmark::State& state)
{
    QuickRows rows;
    for (auto _ : state) {
        benchmark::DoNotOptimize(rows.window.grabWindow());
    }
}

} // namespace

BENCHMARK(widgetsDrawRows)->Unit(benchmark::kMillisecond);
BENCHMARK(quickDrawRows)->Unit(benchmark::kMillisecond);
BENCHMARK(quickReadBackOnly)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
