#include "app/AppFixtures.h"
#include "fakes/FakeDesktop.h"
#include "fakes/WindowHarness.h"
#include "screens/frames/FrameContent.h"
#include "screens/frames/LightboxController.h"
#include "screens/PictureProvider.h"
#include "screens/ScreenServices.h"
#include "screens/lists/ChunkListModel.h"

#include <QFontMetricsF>
#include <QQuickStyle>
#include <QLinearGradient>
#include <QPainter>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

Q_IMPORT_QML_PLUGIN(Verseloom_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_SupportPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_ScreensPlugin)

using namespace vl;
using namespace vl::screens;
using vl::testing::HeldOperation;
using vl::testing::StoreHarness;

namespace {

// A 9:16 picture with something to see in it, so the shots show where it lands.
std::string poster(const std::filesystem::path& path, QColor top, QColor bottom)
{
    QImage image(360, 640, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 0, 640);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(image.rect(), g);
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setPixelSize(40);
    font.setBold(true);
    p.setFont(font);
    p.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("NEON\nLIGHTS"));
    p.end();
    image.save(QString::fromStdString(path.string()));
    return path.string();
}

// The frames page in a window of its own, as the workspace shows it, and the frame
// sheets opened over it.
const char* const kFramesPage = R"qml(
    import QtQuick
    import QtQuick.Controls
    import Verseloom.Design
    import Verseloom.Screens

    ApplicationWindow {
        width: 1200
        height: 800
        visible: true
        color: Theme.night

        Flickable {
            id: stageArea
            anchors.fill: parent
            contentWidth: width
            contentHeight: page.height + 48

            FrameReviewView {
                id: page
                x: 24
                y: 24
                width: stageArea.width - 48
                viewport: stageArea
            }
        }
    }
)qml";

struct SheetHarness : vl::test::WindowHarness {
    SheetHarness()
    {
        h.storedKey = vl::testing::kTestKey;
        Project project = vl::testing::projectWithChunks(4, 0);
        auto& c = project.chunks;
        c[0].chunkNumber = 7;
        c[0].renderedText = "NEON LIGHTS ON THE HARBOUR WALL, ALL NIGHT LONG";
        c[0].imagePrompt = "a neon harbour at night, the words painted on the sea wall";
        c[0].frame = vl::testing::frameAt(poster(h.folder.path() / "generated.png", QColor(255, 103, 72), QColor(3, 20, 19)),
                                          h.vendor.defaultImageURL());
        c[1].frame = vl::testing::frameAt(poster(h.folder.path() / "imported.png", QColor(15, 57, 47), QColor(214, 238, 39)));
        c[3].frame = vl::testing::frameAt(poster(h.folder.path() / "edited.png", QColor(244, 163, 57), QColor(6, 31, 30)),
                                          h.vendor.defaultImageURL());
        c[3].frame->editRequest = "make the sky sunset orange";
        c[3].undoStack = {vl::testing::frameAt(c[0].frame->localPath)};
        for (const auto& chunk : c)
            ids.push_back(QString::fromStdString(chunk.id.text()));
        store = h.make(project);
        store->setSelectedStage(PipelineStage::frames);
        chunks = std::make_unique<ChunkListModel>(store.get());
        services = std::make_unique<ScreenServices>(*store, picker, desktop, ProjectLists{.chunks = chunks.get()});
        // The program's controls style, fixed once per process before any controls load.
        static const bool styled = [] {
            QQuickStyle::setStyle(QStringLiteral("Fusion"));
            return true;
        }();
        Q_UNUSED(styled);
        load([this](QQmlApplicationEngine& e) {
            e.addImportPath(QStringLiteral("qrc:/"));
            PictureProvider::addTo(e);
            services->registerFor(e);
            e.loadData(kFramesPage);
            const auto roots = e.rootObjects();
            return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.constFirst());
        });
        if (window) {
            EXPECT_TRUE(exposed);
        }
    }
    ~SheetHarness()
    {
        LightboxController::dismiss();
        unload();
    }

    // Creates one of the module's sheets for a chunk and opens it over the frames page.
    QQuickWindow* open(const char* file, const QString& chunkID)
    {
        QQmlComponent component(engine.get(), QUrl(QStringLiteral("qrc:/Verseloom/Screens/frames/") + file));
        QObject* created = component.createWithInitialProperties(
            {{"store", QVariant::fromValue<QObject*>(store.get())}, {"chunkID", chunkID}});
        if (!created) {
            warnings << component.errorString();
            return nullptr;
        }
        created->setParent(engine.get());
        auto* sheet = qobject_cast<QQuickWindow*>(created);
        sheet->setTransientParent(window);
        QMetaObject::invokeMethod(sheet, "open");
        EXPECT_TRUE(QTest::qWaitForWindowExposed(sheet));
        return sheet;
    }

    static QQuickWindow* childSheet(QObject* viewer, const char* name)
    {
        return qobject_cast<QQuickWindow*>(object(viewer, name));
    }
    // A menu item as the user picks it; a disabled one does nothing.
    static void pick(QObject* sheet, const char* name)
    {
        QObject* menuItem = object(sheet, name);
        ASSERT_NE(menuItem, nullptr) << name;
        if (menuItem->property("enabled").toBool())
            QMetaObject::invokeMethod(menuItem, "triggered");
    }

    StoreHarness h;
    std::unique_ptr<ProjectStore> store;
    vl::test::FakeFilePicker picker;
    vl::test::FakeDesktop desktop;
    std::unique_ptr<ChunkListModel> chunks;
    std::unique_ptr<ScreenServices> services;
    QStringList ids; // generated (number 7), imported, unframed, edited
};

const char* const kKinds[] = {"generated", "imported", "unframed", "edited"};

} // namespace

TEST(FrameSheetsWindow, TheViewerShowsEachKindOfChunkAndClosesFromItsRedDot)
{
    SheetHarness w;
    ASSERT_NE(w.window, nullptr);
    struct Case {
        int chunk;
        const char* kicker;
        bool lastEdit;
        int content; // FrameImage.Content
    };
    const Case cases[] = {{0, "Frame 7", false, FrameImage::Local},
                          {1, "Frame 2", false, FrameImage::Local},
                          {2, "Frame 3", false, FrameImage::Placeholder},
                          {3, "Frame 4", true, FrameImage::Local}};
    for (const auto& c : cases) {
        const char* kind = kKinds[c.chunk];
        QQuickWindow* viewer = w.open("FrameViewerSheet.qml", w.ids[c.chunk]);
        ASSERT_NE(viewer, nullptr) << w.warnings.join('\n').toStdString();
        SheetHarness::settle(viewer, QStringLiteral("viewer-") + kind);
        EXPECT_EQ(viewer->width(), 420) << kind;
        EXPECT_LE(SheetHarness::item(viewer, "frameImage")->height(), 500) << kind;
        EXPECT_EQ(SheetHarness::item(viewer, "kicker")->property("text").toString(), c.kicker) << kind;
        EXPECT_EQ(SheetHarness::item(viewer, "lastEdit")->isVisible(), c.lastEdit) << kind;
        EXPECT_EQ(SheetHarness::item(viewer, "frameImage")->property("content").toInt(), c.content) << kind;
        SheetHarness::tap(viewer, SheetHarness::item(viewer, "closeDot"));
        w.settle();
        EXPECT_FALSE(viewer->isVisible()) << kind;
    }
    EXPECT_EQ(w.store->project().chunks.size(), 4u) << "closing changes nothing";
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}

TEST(FrameSheetsWindow, TheMenuOpensTheEditAndPromptSheetsOverTheViewer)
{
    SheetHarness w;
    ASSERT_NE(w.window, nullptr);
    for (int chunk : {0, 2, 3}) {
        const char* kind = kKinds[chunk];
        QQuickWindow* viewer = w.open("FrameViewerSheet.qml", w.ids[chunk]);
        ASSERT_NE(viewer, nullptr);
        SheetHarness::tap(viewer, SheetHarness::item(viewer, "menuDot"));
        SheetHarness::settle(viewer, QStringLiteral("viewer-menu-") + kind);
        EXPECT_TRUE(SheetHarness::object(viewer, "actionsMenu")->property("visible").toBool()) << kind;
        EXPECT_EQ(SheetHarness::object(viewer, "editItem")->property("enabled").toBool(), chunk != 2) << kind;

        SheetHarness::pick(viewer, "editItem");
        w.settle();
        QQuickWindow* edit = SheetHarness::childSheet(viewer, "editSheet");
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->isVisible(), chunk != 2) << kind << ": Edit needs a frame at the vendor";
        if (edit->isVisible()) {
            SheetHarness::settle(edit, QStringLiteral("edit-") + kind);
            EXPECT_EQ(edit->width(), 460);
            EXPECT_EQ(edit->transientParent(), viewer);
            SheetHarness::tap(edit, SheetHarness::item(edit, "closeButton"));
            w.settle();
            EXPECT_FALSE(edit->isVisible());
            EXPECT_TRUE(viewer->isVisible()) << "closing the edit sheet returns to the viewer";
        }

        SheetHarness::pick(viewer, "editPromptItem");
        QQuickWindow* prompt = SheetHarness::childSheet(viewer, "promptSheet");
        ASSERT_NE(prompt, nullptr);
        SheetHarness::settle(prompt, QStringLiteral("prompt-") + kind);
        EXPECT_TRUE(prompt->isVisible());
        EXPECT_EQ(prompt->width(), 520);
        EXPECT_EQ(SheetHarness::item(prompt, "promptEditor")->property("text").toString(),
                  QString::fromStdString(w.store->project().chunks[static_cast<std::size_t>(chunk)].imagePrompt));
        SheetHarness::item(prompt, "promptEditor")->setProperty("text", "thrown away");
        SheetHarness::tap(prompt, SheetHarness::item(prompt, "closeButton"));
        w.settle();
        EXPECT_FALSE(prompt->isVisible());
        EXPECT_NE(w.store->project().chunks[static_cast<std::size_t>(chunk)].imagePrompt, "thrown away")
            << "the close button discards";
        SheetHarness::pick(viewer, "closeItem");
        w.settle();
        EXPECT_FALSE(viewer->isVisible());
    }
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}

namespace {

// The nearest item that clips, from the item up: what the user sees of it.
QQuickItem* shownBox(QQuickItem* item)
{
    for (QQuickItem* up = item; up; up = up->parentItem())
        if (up->clip())
            return up;
    return nullptr;
}

QRectF sceneRect(QQuickItem* item)
{
    return item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
}

} // namespace

// Long texts in the edit sheet stay readable: the last edit's request wraps inside the
// picture, a long instruction scrolls with its caret in view, and an instruction left
// behind with the close button is gone the next time the sheet opens.
TEST(FrameSheetsWindow, TheEditSheetsTextsShowWholeAndLastOneShowing)
{
    SheetHarness w;
    ASSERT_NE(w.window, nullptr);
    const std::string request = "make the sky a deep sunset orange, put the harbour lights in the water, "
                                "and fix the spelling on the sign by the pier";
    w.store->updateChunk(*Uuid::parse(w.ids[3].toStdString()), [&](StoryboardChunk& c) { c.frame->editRequest = request; });
    QQuickWindow* viewer = w.open("FrameViewerSheet.qml", w.ids[3]);
    ASSERT_NE(viewer, nullptr);
    SheetHarness::pick(viewer, "editItem");
    QQuickWindow* edit = SheetHarness::childSheet(viewer, "editSheet");
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(vl::testing::waitUntil([&] { return edit->isVisible(); }));
    SheetHarness::settle(edit, "edit-long-request");

    QQuickItem* tag = SheetHarness::item(edit, "lastEditText");
    ASSERT_NE(tag, nullptr);
    EXPECT_FALSE(tag->property("truncated").toBool());
    EXPECT_GT(tag->property("lineCount").toInt(), 1) << "the request wraps";
    EXPECT_TRUE(sceneRect(SheetHarness::item(edit, "frameImage")).contains(sceneRect(tag))) << "inside the picture";

    QQuickItem* field = SheetHarness::item(edit, "instructionField");
    ASSERT_NE(field, nullptr);
    ASSERT_TRUE(vl::testing::waitUntil([&] { return field->hasActiveFocus(); }));
    for (int line = 1; line <= 6; ++line) {
        if (line > 1)
            QTest::keyClick(edit, Qt::Key_Return, Qt::ShiftModifier);
        for (const char c : "line " + std::to_string(line))
            QTest::keyClick(edit, c);
    }
    SheetHarness::settle(edit, "edit-long-instruction");
    ASSERT_EQ(field->property("text").toString().count('\n'), 5) << "Shift+Return starts a line and sends nothing";
    const double line = QFontMetricsF(field->property("font").value<QFont>()).lineSpacing();
    QQuickItem* box = shownBox(field);
    ASSERT_NE(box, nullptr);
    EXPECT_LE(box->height(), 3 * line + 18 + 2) << "three lines at most";
    EXPECT_GE(box->height(), 2 * line + 18) << "grown past one line";
    const QRectF caret = field->mapRectToScene(field->property("cursorRectangle").toRectF());
    EXPECT_TRUE(sceneRect(box).adjusted(-1, -1, 1, 1).contains(caret)) << "the caret is in view";

    SheetHarness::tap(edit, SheetHarness::item(edit, "closeButton"));
    ASSERT_TRUE(vl::testing::waitUntil([&] { return !edit->isVisible(); }));
    SheetHarness::pick(viewer, "editItem");
    ASSERT_TRUE(vl::testing::waitUntil([&] { return edit->isVisible(); }));
    SheetHarness::settle(edit);
    EXPECT_EQ(field->property("text").toString().toStdString(), "") << "the abandoned instruction is gone";
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}

TEST(FrameSheetsWindow, AnEditSheetForAChunkThatIsGoneShowsItsHeaderAlone)
{
    SheetHarness w;
    ASSERT_NE(w.window, nullptr);
    QQuickWindow* edit = w.open("FrameEditSheet.qml", QString::fromStdString(Uuid::random().text()));
    ASSERT_NE(edit, nullptr);
    SheetHarness::settle(edit, "edit-gone");
    EXPECT_FALSE(SheetHarness::item(edit, "frameImage")->isVisible());
    EXPECT_FALSE(SheetHarness::item(edit, "sendButton")->isVisible());
    EXPECT_LT(edit->height(), 120);

    QQuickWindow* viewer = w.open("FrameViewerSheet.qml", QString::fromStdString(Uuid::random().text()));
    ASSERT_NE(viewer, nullptr);
    SheetHarness::settle(viewer, "viewer-gone");
    EXPECT_FALSE(SheetHarness::item(viewer, "windowDots")->isVisible());
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}

TEST(FrameSheetsWindow, RegeneratingThePlanAsksFirstAndCancelKeepsEverything)
{
    SheetHarness w;
    ASSERT_NE(w.window, nullptr);
    QQuickWindow* viewer = w.open("FrameViewerSheet.qml", w.ids[0]);
    ASSERT_NE(viewer, nullptr);

    {
        HeldOperation op(*w.store, "Generating 2 frames");
        w.settle();
        EXPECT_FALSE(SheetHarness::object(viewer, "regeneratePlanItem")->property("enabled").toBool());
        EXPECT_FALSE(SheetHarness::object(viewer, "regenerateImageItem")->property("enabled").toBool());
        EXPECT_TRUE(SheetHarness::object(viewer, "editPromptItem")->property("enabled").toBool());
        op.release();
        ASSERT_TRUE(StoreHarness::waitForIdle(*w.store));
    }

    QQuickWindow* question = SheetHarness::childSheet(viewer, "planQuestion");
    ASSERT_NE(question, nullptr);
    SheetHarness::pick(viewer, "regeneratePlanItem");
    SheetHarness::settle(question, "plan-question");
    ASSERT_TRUE(question->isVisible());
    EXPECT_TRUE(SheetHarness::item(question, "planQuestionText")->property("text").toString().contains("4 chunks"));
    // Return picks the default, Cancel.
    QTest::keyClick(question, Qt::Key_Return);
    w.settle();
    EXPECT_FALSE(question->isVisible());
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(w.store->project().chunks.size(), 4u);

    SheetHarness::pick(viewer, "regeneratePlanItem");
    w.settle();
    SheetHarness::tap(question, SheetHarness::item(question, "cancelButton"));
    w.settle();
    EXPECT_EQ(w.store->project().chunks.size(), 4u);

    SheetHarness::pick(viewer, "regeneratePlanItem");
    w.settle();
    SheetHarness::tap(question, SheetHarness::item(question, "confirmButton"));
    w.settle();
    EXPECT_FALSE(question->isVisible());
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_TRUE(w.store->project().chunks.empty());
    EXPECT_EQ(w.store->selectedStage(), PipelineStage::intake);
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}

TEST(FrameSheetsWindow, TheGreenDotOpensTheLightboxWhichOutlivesTheViewer)
{
    SheetHarness w;
    ASSERT_NE(w.window, nullptr);
    QQuickWindow* unframed = w.open("FrameViewerSheet.qml", w.ids[2]);
    ASSERT_NE(unframed, nullptr);
    SheetHarness::tap(unframed, SheetHarness::item(unframed, "fullScreenDot"));
    EXPECT_EQ(LightboxController::window(), nullptr) << "no frame, no lightbox";
    QMetaObject::invokeMethod(unframed, "close");

    QQuickWindow* viewer = w.open("FrameViewerSheet.qml", w.ids[1]);
    ASSERT_NE(viewer, nullptr);
    SheetHarness::tap(viewer, SheetHarness::item(viewer, "fullScreenDot"));
    // The picture is read on a worker; the window comes when it is decoded.
    ASSERT_TRUE(QTest::qWaitFor([] { return LightboxController::window() != nullptr; }, 30000))
        << "an imported picture opens full screen";
    QQuickWindow* lightbox = LightboxController::window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(lightbox));
    SheetHarness::settle(lightbox, "lightbox");

    QMetaObject::invokeMethod(viewer, "close");
    w.settle();
    EXPECT_EQ(LightboxController::window(), lightbox);
    EXPECT_TRUE(lightbox->isVisible()) << "closing the viewer leaves the lightbox";
    QTest::keyClick(lightbox, Qt::Key_Escape);
    EXPECT_EQ(LightboxController::window(), nullptr);
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}
