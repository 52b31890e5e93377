#include "QuickFixtures.h"

#include "design/EngineSingleton.h"
#include "fakes/PictureBytes.h"
#include "screens/PictureProvider.h"

#include <QAbstractItemModel>
#include <QImage>

#include <filesystem>
#include <fstream>

namespace vl::testing {

namespace {

// A picture file in the harness folder, for thumbnails and element images.
std::string picturePath(const StoreHarness& h, const std::string& name) { return h.picture(name); }

// A whole, valid black-and-white PNG of 10001 x 10000 pixels: nothing but the pixel
// limit refuses it. One bit a pixel, all black, so it packs into a few kilobytes.
std::string overLimitPicture(const StoreHarness& h)
{
    const auto path = h.folder.path() / "over-limit.png";
    if (std::filesystem::exists(path))
        return path.string();
    constexpr std::uint32_t width = 10001, height = 10000;
    // Each row: filter byte 0, then its pixels packed eight to a byte.
    const QByteArray rows(qsizetype(1 + (width + 7) / 8) * height, '\0');
    const QByteArray packed = qCompress(rows, 9).mid(4); // a zlib stream, without Qt's length prefix
    const std::string header = vl::testing::bigEndian(width) + vl::testing::bigEndian(height)
                               + std::string("\x01\x00\x00\x00\x00", 5);
    std::ofstream(path, std::ios::binary) << std::string("\x89PNG\r\n\x1a\n", 8)
                                          << vl::testing::pngChunk("IHDR", header)
                                          << vl::testing::pngChunk("IDAT", packed.toStdString())
                                          << vl::testing::pngChunk("IEND", "");
    return path.string();
}

std::string writeFile(const StoreHarness& h, const std::string& name, const std::string& bytes)
{
    const auto path = h.folder.path() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

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
    } else if (name == "overLimit") {
        p = plannedProject(1, {element("boat", "prop", std::nullopt, overLimitPicture(h))}, {});
        CharacterReference big, small;
        big.name = "Big";
        big.processedImageURL = "https://cdn.example/big.png";
        big.processedImagePath = overLimitPicture(h);
        small.name = "Small";
        small.referenceImagePaths = {picturePath(h, "small.png")};
        p.characters = {big, small};
        p.primaryCharacterID = big.id;
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

QString QuickFixtures::fileAddress(const QString& kind) const
{
    std::string path;
    if (kind == "picture") {
        // Red on the left half, blue on the right.
        QImage image(64, 40, QImage::Format_RGB32);
        image.fill(Qt::red);
        for (int y = 0; y < image.height(); ++y)
            for (int x = image.width() / 2; x < image.width(); ++x)
                image.setPixel(x, y, qRgb(0, 0, 255));
        path = (h.folder.path() / "halves.png").string();
        image.save(QString::fromStdString(path), "PNG");
    } else if (kind == "notAPicture") {
        path = writeFile(h, "notes.png", "not a picture at all");
    } else if (kind == "bmp") {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        path = (h.folder.path() / "red.bmp").string();
        image.save(QString::fromStdString(path), "BMP");
    } else if (kind == "overLimit") {
        path = overLimitPicture(h);
    } else if (kind == "claims900MP") {
        path = writeFile(h, "bomb.png", vl::testing::pngClaiming(30000, 30000));
    }
    return screens::PictureProvider::fileAddress(QString::fromStdString(path));
}

QString QuickFixtures::webAddress(const QString& url) const { return screens::PictureProvider::webAddress(url); }

QString QuickFixtures::vendorPicture(int delayMs, bool missing)
{
    const std::string path = "/media/picture-" + std::to_string(++served_) + ".png";
    fakes::Reply reply = missing ? fakes::Reply::text("not found", 404)
                                 : fakes::Reply::text(fakes::FakeVendor::pngBytes(), 200, "image/png");
    reply.delay = std::chrono::milliseconds(delayMs);
    h.vendor.serveFile(path, reply);
    return QString::fromStdString(h.vendor.url(path));
}

bool QuickFixtures::waitIdle() { return StoreHarness::waitForIdle(*store_); }

} // namespace vl::testing
