// Qt Quick Test over the stage screens: each tst_*.qml loads a screen offscreen against
// one store whose project a test picks with `fixtures.load(name)`.

#include "../ScreenFixtures.h"

#include "design/Fonts.h"
#include "screens/lists/CharacterListModel.h"
#include "screens/lists/ChunkListModel.h"
#include "screens/lists/ElementListModel.h"
#include "screens/lists/TranscriptListModel.h"
#include "screens/ScreenServices.h"

#include <QAbstractItemModel>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

#include <memory>

Q_IMPORT_QML_PLUGIN(Verseloom_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_SupportPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_ScreensPlugin)

using namespace vl;
using namespace vl::testing;

namespace {

// A picture file in the harness folder, for thumbnails and element images.
std::string picturePath(const StoreHarness& h, const std::string& name) { return h.picture(name); }

} // namespace

// What the tests call: pick a project, read back the store, count list changes.
class Fixtures : public QObject {
    Q_OBJECT
    Q_PROPERTY(int dataChanges READ dataChanges NOTIFY countsChanged)
    Q_PROPERTY(int rowsRebuilt READ rowsRebuilt NOTIFY countsChanged)
    Q_PROPERTY(int stage READ stage NOTIFY countsChanged)
    Q_PROPERTY(int projectChanges READ projectChanges NOTIFY countsChanged)

public:
    Fixtures()
    {
        h.storedKey = kTestKey;
        store = h.make(ProjectStore::defaultNewProject());
        services = std::make_unique<screens::ScreenServices>(*store, picker, desktop);
        chunks = std::make_unique<screens::ChunkListModel>(store.get());
        characters = std::make_unique<screens::CharacterListModel>(store.get());
        transcript = std::make_unique<screens::TranscriptListModel>(store.get());
        elements = std::make_unique<screens::ElementListModel>(store.get());
        for (QAbstractItemModel* m : std::initializer_list<QAbstractItemModel*>{
                 chunks.get(), characters.get(), transcript.get(), elements.get()}) {
            connect(m, &QAbstractItemModel::dataChanged, this, [this] { ++dataChanges_; });
            connect(m, &QAbstractItemModel::modelReset, this, [this] { ++rowsRebuilt_; });
            connect(m, &QAbstractItemModel::rowsInserted, this, [this] { ++rowsRebuilt_; });
            connect(m, &QAbstractItemModel::rowsRemoved, this, [this] { ++rowsRebuilt_; });
        }
        connect(store.get(), &ProjectStore::projectChanged, this, [this] { ++projectChanges_; });
        connect(store.get(), &ProjectStore::selectedStageChanged, this, &Fixtures::countsChanged);
    }

    void expose(QQmlContext* context)
    {
        context->setContextProperty(QStringLiteral("fixtures"), this);
        context->setContextProperty(QStringLiteral("store"), store.get());
        context->setContextProperty(QStringLiteral("screenServices"), services.get());
        context->setContextProperty(QStringLiteral("projectChunks"), chunks.get());
        context->setContextProperty(QStringLiteral("projectCharacters"), characters.get());
        context->setContextProperty(QStringLiteral("projectTranscript"), transcript.get());
        context->setContextProperty(QStringLiteral("projectElements"), elements.get());
        context->setContextProperty(QStringLiteral("screenShots"), qEnvironmentVariable("SCREEN_SHOTS"));
    }

    int dataChanges() const { return dataChanges_; }
    int rowsRebuilt() const { return rowsRebuilt_; }
    int stage() const { return static_cast<int>(store->selectedStage()); }
    int projectChanges() const { return projectChanges_; }

    // "empty" (no song), "track" (song, lyrics, two timed lines), "noLyrics" (song
    // only), "cast" (two characters, the second processed and active), "planned"
    // (twelve chunks, five elements of which two rendered, seven colours).
    Q_INVOKABLE void load(const QString& name)
    {
        Project p = ProjectStore::defaultNewProject();
        if (name == "track" || name == "noLyrics") {
            p.title = "Neon Overpass";
            p.artist = "The Marker Kids";
            p.audioPath = "/music/neon-overpass.mp3";
            if (name == "track") {
                p.rawLyrics = "City lights are burning low\nWe ride the overpass\n\nUntil the morning";
                p.lyricsSource = LyricsSource::embeddedUnverified;
                p.transcript = {{Uuid::random(), "City lights are burning low", 0.5, 4.2},
                                {Uuid::random(), "We ride the overpass", 59.5, 61.49}};
            }
        } else if (name == "cast") {
            CharacterReference first, second;
            first.name = "Mara";
            first.notes = "platinum hair";
            second.name = "Jun";
            second.referenceImagePaths = {picturePath(h, "jun.png")};
            second.processedImageURL = "https://cdn.example/jun.png";
            p.characters = {first, second};
            p.primaryCharacterID = second.id;
            p.transcript = {{Uuid::random(), "hello", 0, 2}};
        } else if (name == "planned") {
            p = plannedProject(12,
                               {element("boat", "prop", "https://cdn.example/boat.png", picturePath(h, "boat.png")),
                                element("pier", "place", "https://cdn.example/pier.png", picturePath(h, "pier.png")),
                                element("lamp", "prop"), element("harbour", "place"), element("gull", "animal")},
                               {"#ff3366", "#00ffaa", "#3366ff", "#ffaa00", "#aa00ff", "#00aaff", "#ff00aa"});
            for (std::size_t i = 0; i < 3; ++i)
                p.chunks[i].frame = frameAt(picturePath(h, "frame.png"));
            p.chunks[1].lyricExcerpt.clear();
            p.chunks[2].primaryCharacterInFrame = false;
        }
        store->setLastError(std::nullopt);
        store->setSelectedStage(PipelineStage::intake);
        store->setProject(std::move(p));
        resetCounts();
    }

    Q_INVOKABLE void resetCounts()
    {
        dataChanges_ = 0;
        rowsRebuilt_ = 0;
        projectChanges_ = 0;
        emit countsChanged();
    }

    Q_INVOKABLE QString chunkText(int row) const
    {
        return QString::fromStdString(store->project().chunks.at(static_cast<std::size_t>(row)).renderedText);
    }
    Q_INVOKABLE QString segmentText(int row) const
    {
        return QString::fromStdString(store->project().transcript.at(static_cast<std::size_t>(row)).text);
    }
    Q_INVOKABLE QString characterName(int row) const
    {
        return QString::fromStdString(store->project().characters.at(static_cast<std::size_t>(row)).name);
    }
    Q_INVOKABLE QString lyrics() const { return QString::fromStdString(store->project().rawLyrics); }
    Q_INVOKABLE bool waitIdle() { return StoreHarness::waitForIdle(*store); }

signals:
    void countsChanged();

private:
    StoreHarness h;
    vl::test::FakeFilePicker picker;
    vl::test::FakeDesktop desktop;
    std::unique_ptr<ProjectStore> store;
    std::unique_ptr<screens::ScreenServices> services;
    std::unique_ptr<screens::ChunkListModel> chunks;
    std::unique_ptr<screens::CharacterListModel> characters;
    std::unique_ptr<screens::TranscriptListModel> transcript;
    std::unique_ptr<screens::ElementListModel> elements;
    int dataChanges_ = 0;
    int rowsRebuilt_ = 0;
    int projectChanges_ = 0;
};

class Setup : public QObject {
    Q_OBJECT

public slots:
    void applicationAvailable() { vl::design::registerBundledFonts(); }

    void qmlEngineAvailable(QQmlEngine* engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/"));
        fixtures_ = std::make_unique<Fixtures>();
        fixtures_->expose(engine->rootContext());
    }

    void cleanupTestCase() { fixtures_.reset(); }

private:
    std::unique_ptr<Fixtures> fixtures_;
};

QUICK_TEST_MAIN_WITH_SETUP(screens, Setup)

#include "main.moc"
