#pragma once

// The main window loaded in-process over a store of the test's own, with a desktop and
// a file picker that the test answers for, and a renderer and exporter that make real
// (tiny) clips and videos. For the stage pages' window tests.

#include "AppFixtures.h"

#include "app/AppShell.h"
#include "fakes/FakeDesktop.h"
#include "fakes/WindowHarness.h"
#include "media/export/VideoExporter.h"
#include "pipeline/ClipFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>

namespace vl::testing {

struct PageWindow : test::WindowHarness {
    // Tiny real clips and videos: the recording renderer and the exporter.
    explicit PageWindow(std::optional<Project> project) { open(std::move(project), smallEngines()); }
    PageWindow(std::optional<Project> project, PipelineServices services)
    {
        open(std::move(project), std::move(services));
    }

    // Over `clipboard` instead of the desktop's.
    PageWindow(std::optional<Project> project, Clipboard& clipboard)
    {
        open(std::move(project), smallEngines(), &clipboard);
    }

    void open(std::optional<Project> project, PipelineServices services, Clipboard* clipboard = nullptr)
    {
        h.storedKey = kTestKey;
        h.settings.setInteger("sharewareOnboardingVersion", 2); // past the first-run guide
        store = h.make(std::move(project), std::move(services));
        app::ShellContext context;
        context.desktop = &desktop;
        context.filePicker = &picker;
        context.clipboard = clipboard;
        shell = std::make_unique<app::AppShell>(*store, context);
        load([this](QQmlApplicationEngine& e) { return shell->load(e); });
    }
    ~PageWindow() { unload(); }

    // Only what is shown: the stage keeps the pages it does not show.
    QQuickItem* item(const char* name) const { return findShownItem(window->contentItem(), name); }
    QString text(const char* name) const
    {
        QQuickItem* found = item(name);
        return found ? found->property("text").toString() : QStringLiteral("<%1 not shown>").arg(name);
    }
    bool enabled(const char* name) const
    {
        QQuickItem* found = item(name);
        return found && found->isEnabled();
    }

    // Scrolls what the user scrolls to reach the item so it is in view, then taps it.
    void tapInStage(const char* name)
    {
        QQuickItem* target = item(name);
        ASSERT_NE(target, nullptr) << name;
        tapInStage(target);
    }
    void tapInStage(QQuickItem* target)
    {
        ASSERT_NE(target, nullptr);
        QQuickItem* area = scrollerOf(target);
        ASSERT_NE(area, nullptr);
        const QPointF inContent = target->mapToItem(area->property("contentItem").value<QQuickItem*>(), QPointF());
        scrollTo(area, inContent.y() - area->height() / 2);
        spin(50);
        tap(target);
    }

    // The nearest scroll area around the item that the user can scroll (a page that
    // scrolls itself, or the stage area).
    static QQuickItem* scrollerOf(QQuickItem* inside)
    {
        for (QQuickItem* up = inside; up; up = up->parentItem())
            if (up->inherits("QQuickFlickable") && up->property("interactive").toBool())
                return up;
        return nullptr;
    }
    // Moves a scroll area's content to `y`, kept inside the range a user can scroll.
    static void scrollTo(QQuickItem* area, double y)
    {
        const double top = area->property("originY").toDouble() - area->property("topMargin").toDouble();
        const double end = area->property("originY").toDouble() + area->property("contentHeight").toDouble()
            + area->property("bottomMargin").toDouble() - area->height();
        area->setProperty("contentY", std::clamp(y, top, std::max(top, end)));
    }
    static void scrollToEnd(QQuickItem* area) { scrollTo(area, std::numeric_limits<double>::max()); }
    static void scrollToTop(QQuickItem* area) { scrollTo(area, std::numeric_limits<double>::lowest()); }

    // Whether some of the item is on screen inside the stage area.
    bool shownInStage(QQuickItem* target) const
    {
        if (!target || !target->isVisible())
            return false;
        QQuickItem* area = item("stageArea");
        const QRectF shown = area->mapRectToScene(QRectF(0, 0, area->width(), area->height()));
        const QRectF placed = target->mapRectToScene(QRectF(0, 0, target->width(), target->height()));
        return target->width() > 0 && target->height() > 0 && shown.intersects(placed);
    }

    void select(PipelineStage stage)
    {
        store->setSelectedStage(stage);
        settle();
    }

    PipelineServices smallEngines() const
    {
        PipelineServices services;
        services.motion = renderer;
        services.exporter = std::make_shared<VideoExporter>();
        return services;
    }

    StoreHarness h;
    std::shared_ptr<RecordingRenderer> renderer = std::make_shared<RecordingRenderer>();
    test::FakeDesktop desktop;
    test::FakeFilePicker picker;
    std::unique_ptr<ProjectStore> store;
    std::unique_ptr<app::AppShell> shell;
};

// `total` chunks of half a second, the first `framed` with real pictures, and a
// transcript as long as the chunks.
inline Project renderableProject(const StoreHarness& h, int total, int framed)
{
    Project p = projectWithChunks(total, framed);
    for (int i = 0; i < total; ++i) {
        auto& c = p.chunks[static_cast<std::size_t>(i)];
        c.start = i * 0.5;
        c.end = c.start + 0.5;
        if (c.frame)
            c.frame->localPath = writePicture(h.folder.path() / ("pic" + std::to_string(i) + ".png"), 30 + 40 * i);
        TranscriptSegment line;
        line.text = c.lyricExcerpt;
        line.start = c.start;
        line.end = c.end;
        p.transcript.push_back(line);
    }
    return p;
}

} // namespace vl::testing
