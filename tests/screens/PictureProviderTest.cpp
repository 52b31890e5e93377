#include "pipeline/StoreHarness.h"
#include "screens/frames/PictureCopies.h"
#include "screens/frames/PictureFetch.h"
#include "screens/PictureProvider.h"

#include "fakes/PictureBytes.h"
#include "model/Files.h"
#include "model/ImageHeader.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QQuickImageResponse>
#include <QQuickTextureFactory>
#include <QSignalSpy>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <fstream>
#include <memory>
#include <optional>

using namespace vl;
using namespace vl::screens;
using vl::testing::StoreHarness;

namespace {

// What the provider answered: the picture, or the sentence of its error.
struct Answer {
    QImage image;
    QString error;
};

// Asks the way an Image does and waits for the answer, with a generous ceiling.
std::optional<Answer> ask(PictureProvider& provider, const QString& address, const QSize& size,
                          bool cancel = false)
{
    const QString prefix = QStringLiteral("image://picture/");
    EXPECT_TRUE(address.startsWith(prefix)) << address.toStdString();
    std::unique_ptr<QQuickImageResponse> response(provider.requestImageResponse(address.mid(prefix.size()), size));
    QSignalSpy finished(response.get(), &QQuickImageResponse::finished);
    if (cancel)
        response->cancel();
    if (!finished.wait(60'000))
        return std::nullopt;
    Answer answer{{}, response->errorString()};
    if (answer.error.isEmpty()) {
        std::unique_ptr<QQuickTextureFactory> texture(response->textureFactory());
        answer.image = texture ? texture->image() : QImage();
    }
    return answer;
}

std::string encoded(const char* extension, const cv::Mat& image)
{
    std::vector<unsigned char> bytes;
    EXPECT_TRUE(cv::imencode(extension, image, bytes)) << extension;
    return std::string(bytes.begin(), bytes.end());
}

// A 1 x 1 GIF.
const std::string kGif("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
                       ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
                       35);

} // namespace

// Every picture goes through the one reader: the three formats we take show at a size
// that covers the box asked for (never larger than the picture); anything else, and a
// header over the pixel limit, is an error before any pixel is decoded (the error is the
// header check's).
TEST(PictureProvider, DecodesOnlyWhatThePictureReaderTakesAtTheSizeAskedFor)
{
    StoreHarness h;
    const auto file = [&](const std::string& name, const std::string& bytes) {
        const auto path = h.folder.path() / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return PictureProvider::fileAddress(QString::fromStdString(path.string()));
    };
    cv::Mat wide(400, 800, CV_8UC4, cv::Scalar(255, 0, 0, 255));
    const std::string png = encoded(".png", wide);
    const std::string jpeg = encoded(".jpg", cv::Mat(2000, 1000, CV_8UC3, cv::Scalar(0, 200, 0)));
    const std::string webp = encoded(".webp", cv::Mat(300, 300, CV_8UC3, cv::Scalar(0, 0, 200)));
    const cv::Mat small(8, 8, CV_8UC3, cv::Scalar(10, 20, 30));
    std::filesystem::create_directory(h.folder.path() / "folder.png");
    h.vendor.serveFile("/media/wide.png", fakes::Reply::text(png, 200, "image/png"));
    h.vendor.serveFile("/media/missing.png", fakes::Reply::text("not found", 404));
    h.vendor.serveFile("/media/bomb.png",
                       fakes::Reply::text(vl::testing::pngClaiming(30000, 30000), 200, "image/png"));
    const auto web = [&](const std::string& path) {
        return PictureProvider::webAddress(QString::fromStdString(h.vendor.url(path)));
    };
    const auto byHand = [](const QString& kind, const QByteArray& target) {
        return "image://picture/" + kind + "/"
               + QString::fromLatin1(target.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    };

    struct Case {
        const char* name;
        QString address;
        QSize size;
        QSize expected;      // empty: an error
        const char* because; // a part of the error's sentence
    };
    const Case cases[] = {
        {"PNG, covering the box", file("wide.png", png), {100, 100}, {200, 100}, ""},
        {"PNG, no size asked: its own", file("whole.png", png), {}, {800, 400}, ""},
        {"PNG, never enlarged", file("small.png", png), {2000, 2000}, {800, 400}, ""},
        // A canvas cannot ask for a size; it names one in the address.
        {"the size named in the address", file("named.png", png) + "/100x100", {}, {200, 100}, ""},
        {"the size asked wins", file("asked.png", png) + "/100x100", {50, 50}, {100, 50}, ""},
        {"a word after the size", file("word.png", png) + "/100x100/k3x", {}, {200, 100}, ""},
        {"a size that does not read", file("nosize.png", png) + "/0x5", {}, {}, "Not a picture address"},
        {"JPEG, decoded reduced", file("tall.jpg", jpeg), {90, 160}, {90, 180}, ""},
        {"WebP", file("square.webp", webp), {50, 50}, {50, 50}, ""},
        {"GIF", file("dot.gif", kGif), {50, 50}, {}, "is not a PNG, JPEG or WebP picture"},
        {"BMP", file("small.bmp", encoded(".bmp", small)), {50, 50}, {}, "is not a PNG, JPEG or WebP picture"},
        {"TIFF", file("small.tiff", encoded(".tiff", small)), {50, 50}, {}, "is not a PNG, JPEG or WebP picture"},
        {"cut short", file("cut.png", png.substr(0, png.size() / 2)), {50, 50}, {}, "is damaged or incomplete"},
        {"a header claiming 900 megapixels", file("bomb.png", vl::testing::pngClaiming(30000, 30000)), {50, 50},
         {}, "is too large (30000 \u00d7 30000 pixels)"},
        {"a folder", PictureProvider::fileAddress(QString::fromStdString((h.folder.path() / "folder.png").string())),
         {50, 50}, {}, "could not be read"},
        {"an empty file", file("empty.png", ""), {50, 50}, {}, "is not a PNG, JPEG or WebP picture"},
        {"no file", PictureProvider::fileAddress(QString::fromStdString((h.folder.path() / "gone.png").string())),
         {50, 50}, {}, "could not be read"},
        {"fetched PNG", web("/media/wide.png"), {100, 100}, {200, 100}, ""},
        {"fetched, not there", web("/media/missing.png"), {50, 50}, {}, "could not be fetched"},
        {"fetched, over the pixel limit", web("/media/bomb.png"), {50, 50}, {}, "is too large (30000 \u00d7 30000"},
        {"a file: address made by hand", byHand("web", "file:///etc/hostname"), {50, 50}, {}, "Not a picture address"},
        {"an unknown kind", byHand("ftp", "/etc/hostname"), {50, 50}, {}, "Not a picture address"},
        {"not base64", "image://picture/file/%%%", {50, 50}, {}, "Not a picture address"},
    };
    PictureProvider provider;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto answer = ask(provider, c.address, c.size);
        ASSERT_TRUE(answer) << "no answer";
        EXPECT_EQ(answer->image.isNull() ? QSize() : answer->image.size(), c.expected);
        EXPECT_EQ(answer->error.isEmpty(), !c.expected.isEmpty()) << answer->error.toStdString();
        EXPECT_TRUE(answer->error.contains(QString::fromUtf8(c.because))) << answer->error.toStdString();
    }
    // Only the three http addresses were fetched.
    EXPECT_EQ(h.vendor.requestCount(), 3u);
}

// A large PNG decodes whole once per version of its file, into a reduced copy in the
// copies' folder; cards shown later at any size up to the copy's read the copy.
TEST(PictureProvider, ALargePngIsShownFromItsReducedCopy)
{
    StoreHarness h;
    const files::TemporaryDirectory cache("picture-copies");
    usePictureCopies(std::make_shared<PictureCopies>(cache.path() / "pictures"));
    struct Restore {
        ~Restore() { usePictureCopies(nullptr); }
    } restore;
    const auto copies = [&] {
        std::vector<std::filesystem::path> found;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(cache.path() / "pictures", error))
            found.push_back(entry.path());
        return found;
    };
    // Red on the left, green on the right; larger than a copy.
    cv::Mat halves(2000, 3000, CV_8UC4, cv::Scalar(0, 0, 255, 255));
    halves(cv::Rect(1500, 0, 1500, 2000)).setTo(cv::Scalar(0, 255, 0, 255));
    const auto path = h.folder.path() / "large.png";
    std::ofstream(path, std::ios::binary) << encoded(".png", halves);
    const QString address = PictureProvider::fileAddress(QString::fromStdString(path.string()));
    const auto colours = [](const QImage& image) {
        return std::pair{image.pixelColor(2, image.height() / 2).name(),
                         image.pixelColor(image.width() - 3, image.height() / 2).name()};
    };
    const std::pair<QString, QString> redAndGreen{"#ff0000", "#00ff00"};

    PictureProvider provider;
    auto answer = ask(provider, address, {150, 100});
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->error, "");
    EXPECT_EQ(answer->image.size(), QSize(150, 100));
    EXPECT_EQ(colours(answer->image), redAndGreen);
    ASSERT_EQ(copies().size(), 1u);
    const auto copyHeader = readImageHeader(files::readAll(copies()[0]));
    ASSERT_TRUE(copyHeader);
    EXPECT_EQ(std::max(copyHeader->width, copyHeader->height), std::uint32_t(PictureCopies::kLongSide))
        << "the decode kept is bounded by the copy's size";

    // The picture's pixels spoiled behind its back (same size, same time): a card shown
    // again, at another size, still shows it, so it was read from the copy.
    const auto changed = std::filesystem::last_write_time(path);
    const auto size = std::filesystem::file_size(path);
    {
        std::fstream spoil(path, std::ios::in | std::ios::out | std::ios::binary);
        spoil.seekp(static_cast<std::streamoff>(size / 2));
        spoil << std::string(size - size / 2, '\0');
    }
    std::filesystem::last_write_time(path, changed);
    answer = ask(provider, address, {300, 200});
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->error, "");
    EXPECT_EQ(answer->image.size(), QSize(300, 200));
    EXPECT_EQ(colours(answer->image), redAndGreen);
    EXPECT_EQ(copies().size(), 1u);

    // Shown larger than a copy, the picture itself is decoded (and found spoiled).
    answer = ask(provider, address, {2400, 1600});
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->error.contains("is damaged or incomplete")) << answer->error.toStdString();

    // A new version of the file gets a copy of its own.
    cv::Mat blue(2000, 3000, CV_8UC3, cv::Scalar(255, 0, 0));
    std::ofstream(path, std::ios::binary | std::ios::trunc) << encoded(".png", blue);
    std::filesystem::last_write_time(path, changed + std::chrono::seconds(5));
    answer = ask(provider, address, {150, 100});
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->error, "");
    EXPECT_EQ(answer->image.pixelColor(75, 50).name(), "#0000ff");
    EXPECT_EQ(copies().size(), 2u);
}

TEST(PictureProvider, AddressesKeepAnyPathOrAddressIntact)
{
    const QString odd = QStringLiteral("/tmp/a dir/?x#y%20 ü/picture.png");
    EXPECT_TRUE(PictureProvider::fileAddress(odd).startsWith("image://picture/file/"));
    EXPECT_NE(PictureProvider::fileAddress(odd), PictureProvider::fileAddress(odd + "x"));
    EXPECT_EQ(PictureProvider::fileAddress(""), "");
    for (const char* notFetchable : {"", "file:///etc/passwd", "ftp://cdn.example/p.png", "media/p.png", "http://[x"})
        EXPECT_EQ(PictureProvider::webAddress(notFetchable), "") << notFetchable;
    EXPECT_TRUE(PictureProvider::webAddress("https://cdn.example/p.png?a=1#b").startsWith("image://picture/web/"));

    // The provider reads the very path back: a file whose name needs escaping shows.
    StoreHarness h;
    const auto dir = h.folder.path() / "a dir ?#%20 ü";
    std::filesystem::create_directory(dir);
    const auto path = dir / "p#1.png";
    std::ofstream(path, std::ios::binary) << fakes::FakeVendor::pngBytes();
    PictureProvider provider;
    const auto answer = ask(provider, PictureProvider::fileAddress(QString::fromStdString(path.string())), {10, 10});
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->error, "");
    EXPECT_EQ(answer->image.size(), QSize(1, 1));
}

// A response the engine gives up on still finishes (the engine needs that to let it go),
// and a fetch under way for it is dropped rather than decoded.
TEST(PictureProvider, ACancelledFetchEndsWithoutAPicture)
{
    StoreHarness h;
    fakes::Reply slow = fakes::Reply::text(fakes::FakeVendor::pngBytes(), 200, "image/png");
    slow.delay = std::chrono::seconds(30);
    h.vendor.serveFile("/media/slow.png", slow);
    PictureProvider provider;
    const auto answer =
        ask(provider, PictureProvider::webAddress(QString::fromStdString(h.vendor.url("/media/slow.png"))), {10, 10},
            true);
    ASSERT_TRUE(answer) << "a cancelled response never finished";
    EXPECT_TRUE(answer->image.isNull());
    EXPECT_FALSE(answer->error.isEmpty());
}

// The time limit bounds the whole fetch, not only a stall: a body that drips a byte at
// a time ends at the limit.
TEST(PictureFetch, ABodyThatDripsEndsAtTheTimeLimit)
{
    StoreHarness h;
    fakes::Reply drip = fakes::Reply::text(std::string(4096, 'x'), 200, "image/png");
    drip.chunkBytes = 1;
    drip.chunkDelay = std::chrono::milliseconds(200); // the whole body: over thirteen minutes
    h.vendor.serveFile("/media/drip.png", drip);
    fakes::Reply fine = fakes::Reply::text(fakes::FakeVendor::pngBytes(), 200, "image/png");
    h.vendor.serveFile("/media/fine.png", fine);

    QNetworkAccessManager network;
    QObject context;
    struct Case {
        const char* path;
        bool expectBytes;
    };
    for (const Case c : {Case{"/media/fine.png", true}, Case{"/media/drip.png", false}}) {
        SCOPED_TRACE(c.path);
        std::optional<QByteArray> body;
        fetchPicture(network, QUrl(QString::fromStdString(h.vendor.url(c.path))), &context,
                     [&](QByteArray bytes) { body = std::move(bytes); }, std::chrono::seconds(1));
        ASSERT_TRUE(vl::testing::waitUntil([&] { return body.has_value(); }, 60'000)) << "the fetch never ended";
        EXPECT_EQ(!body->isEmpty(), c.expectBytes);
    }
}
