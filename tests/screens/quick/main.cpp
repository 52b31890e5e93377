// Qt Quick Test over the stage screens: each tst_*.qml loads a screen offscreen against
// one store whose project a test picks with `fixtures.load(name)`.

#include "../ScreenFixtures.h"

#include "app/ProjectListModel.h"
#include "design/Fonts.h"
#include "screens/PictureProvider.h"
#include "screens/ScreenServices.h"

#include "fakes/PictureBytes.h"

#include <QAbstractItemModel>
#include <QImage>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

#include <filesystem>
#include <fstream>
#include <memory>

Q_IMPORT_QML_PLUGIN(Verseloom_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_SupportPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_ScreensPlugin)

using namespace vl;
using namespace vl::testing;

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
        chunks = std::make_unique<app::ChunkListModel>(store.get());
        characters = std::make_unique<app::CharacterListModel>(store.get());
        transcript = std::make_unique<app::TranscriptListModel>(store.get());
        elements = std::make_unique<app::ElementListModel>(store.get());
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
    // (twelve chunks, five elements of which two rendered, seven colours), "overLimit"
    // (a character and an element whose pictures are over the pixel limit, beside a
    // character whose picture reads).
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

    // Picture provider addresses, as the models make them, of pictures of each kind.
    // `kind`: "picture" (a PNG that reads, red and blue halves), "notAPicture", "bmp" (a picture Qt reads but
    // we do not take), "overLimit", "claims900MP" (a header over the limit, little else).
    Q_INVOKABLE QString fileAddress(const QString& kind) const
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
    Q_INVOKABLE QString webAddress(const QString& url) const { return screens::PictureProvider::webAddress(url); }
    // An address at the loopback vendor: a picture that takes `delayMs` to start
    // arriving, or one that answers 404.
    Q_INVOKABLE QString vendorPicture(int delayMs, bool missing)
    {
        const std::string path = "/media/picture-" + std::to_string(++served_) + ".png";
        fakes::Reply reply = missing ? fakes::Reply::text("not found", 404)
                                     : fakes::Reply::text(fakes::FakeVendor::pngBytes(), 200, "image/png");
        reply.delay = std::chrono::milliseconds(delayMs);
        h.vendor.serveFile(path, reply);
        return QString::fromStdString(h.vendor.url(path));
    }
    Q_INVOKABLE bool waitIdle() { return StoreHarness::waitForIdle(*store); }

signals:
    void countsChanged();

private:
    StoreHarness h;
    vl::test::FakeFilePicker picker;
    vl::test::FakeDesktop desktop;
    std::unique_ptr<ProjectStore> store;
    std::unique_ptr<screens::ScreenServices> services;
    std::unique_ptr<app::ChunkListModel> chunks;
    std::unique_ptr<app::CharacterListModel> characters;
    std::unique_ptr<app::TranscriptListModel> transcript;
    std::unique_ptr<app::ElementListModel> elements;
    int dataChanges_ = 0;
    int rowsRebuilt_ = 0;
    int projectChanges_ = 0;
    int served_ = 0;
};

class Setup : public QObject {
    Q_OBJECT

public slots:
    void applicationAvailable() { vl::design::registerBundledFonts(); }

    void qmlEngineAvailable(QQmlEngine* engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/"));
        vl::screens::PictureProvider::addTo(*engine);
        fixtures_ = std::make_unique<Fixtures>();
        fixtures_->expose(engine->rootContext());
    }

    void cleanupTestCase() { fixtures_.reset(); }

private:
    std::unique_ptr<Fixtures> fixtures_;
};

QUICK_TEST_MAIN_WITH_SETUP(screens, Setup)

#include "main.moc"
