#include "QuickFixtures.h"

#include "design/EngineSingleton.h"

#include <QAbstractItemModel>

namespace vl::testing {

namespace {

// A picture file in the harness folder, for thumbnails and element images.
std::string picturePath(const StoreHarness& h, const std::string& name) { return h.picture(name); }

} // namespace

QuickFixtures::QuickFixtures(QQmlEngine& engine)
{
    h.storedKey = kTestKey;
    store_ = h.make(ProjectStore::defaultNewProject());
    chunks = std::make_unique<screens::ChunkListModel>(store_.get());
    characters = std::make_unique<screens::CharacterListModel>(store_.get());
    transcript = std::make_unique<screens::TranscriptListModel>(store_.get());
    elements = std::make_unique<screens::ElementListModel>(store_.get());
    for (QAbstractItemModel* m : std::initializer_list<QAbstractItemModel*>{
             chunks.get(), characters.get(), transcript.get(), elements.get()}) {
        connect(m, &QAbstractItemModel::dataChanged, this, [this] { ++dataChanges_; });
        connect(m, &QAbstractItemModel::modelReset, this, [this] { ++rowsRebuilt_; });
        connect(m, &QAbstractItemModel::rowsInserted, this, [this] { ++rowsRebuilt_; });
        connect(m, &QAbstractItemModel::rowsRemoved, this, [this] { ++rowsRebuilt_; });
    }
    services = std::make_unique<screens::ScreenServices>(
        *store_, picker, desktop,
        screens::ProjectLists{chunks.get(), characters.get(), elements.get(), transcript.get()});
    connect(store_.get(), &ProjectStore::projectChanged, this, [this] { ++projectChanges_; });
    connect(store_.get(), &ProjectStore::selectedStageChanged, this, &QuickFixtures::countsChanged);
    design::EngineSingleton<QuickFixtures>::registerFor(engine, *this);
    services->registerFor(engine);
}

QuickFixtures::~QuickFixtures() = default;

QuickFixtures* QuickFixtures::create(QQmlEngine* engine, QJSEngine*)
{
    return design::EngineSingleton<QuickFixtures>::instanceFor(engine);
}

void QuickFixtures::load(const QString& name)
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
    store_->setLastError(std::nullopt);
    store_->setSelectedStage(PipelineStage::intake);
    store_->setProject(std::move(p));
    resetCounts();
}

void QuickFixtures::resetCounts()
{
    dataChanges_ = 0;
    rowsRebuilt_ = 0;
    projectChanges_ = 0;
    emit countsChanged();
}

QString QuickFixtures::chunkText(int row) const
{
    return QString::fromStdString(store_->project().chunks.at(static_cast<std::size_t>(row)).renderedText);
}

QString QuickFixtures::segmentText(int row) const
{
    return QString::fromStdString(store_->project().transcript.at(static_cast<std::size_t>(row)).text);
}

QString QuickFixtures::characterName(int row) const
{
    return QString::fromStdString(store_->project().characters.at(static_cast<std::size_t>(row)).name);
}

QString QuickFixtures::lyrics() const { return QString::fromStdString(store_->project().rawLyrics); }

bool QuickFixtures::waitIdle() { return StoreHarness::waitForIdle(*store_); }

} // namespace vl::testing
