#include "media/export/VideoExporter.h"

#include "media/FFmpegSupport.h"
#include "model/Files.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <iostream>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

using namespace vl;
namespace fs = std::filesystem;

namespace {

constexpr double kTolerance = 0.05;

void ffmpeg(const std::string& args)
{
    const std::string command = "ffmpeg -nostdin -v error -y " + args;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// A small H.264 clip with a moving test picture, with B-frames as a renderer would write them.
fs::path makeClip(const fs::path& file, double seconds, int width = 90, int height = 160, int fps = 30)
{
    ffmpeg("-f lavfi -i testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) + ":rate="
           + std::to_string(fps) + ":duration=" + std::to_string(seconds)
           + " -c:v libx264 -preset veryfast -bf 2 -pix_fmt yuv420p '" + file.string() + "'");
    return file;
}

fs::path makeTone(const fs::path& file, double seconds, const std::string& codecArgs = "")
{
    ffmpeg("-f lavfi -i sine=frequency=440:sample_rate=8000:duration=" + std::to_string(seconds) + " " + codecArgs
           + " '" + file.string() + "'");
    return file;
}

void writeText(const fs::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

struct StreamInfo {
    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    std::string codec;
    double seconds = 0;
    int width = 0;
    int height = 0;
    bool coverArt = false;
    std::vector<double> keyframes; // video packet times, in seconds
};

struct Probe {
    std::string brand;
    std::vector<StreamInfo> streams;

    const StreamInfo* first(AVMediaType type) const
    {
        for (const auto& s : streams)
            if (s.type == type && !s.coverArt) return &s;
        return nullptr;
    }
    int count(AVMediaType type) const
    {
        return static_cast<int>(std::count_if(streams.begin(), streams.end(),
                                              [&](const StreamInfo& s) { return s.type == type && !s.coverArt; }));
    }
};

using vl::ffmpeg::CodecPtr;
using vl::ffmpeg::FramePtr;
using vl::ffmpeg::InputPtr;
using vl::ffmpeg::PacketPtr;

// Opens a written movie for reading back; null when FFmpeg cannot open it.
InputPtr openMovie(const fs::path& file)
{
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, file.c_str(), nullptr, nullptr) < 0) return nullptr;
    InputPtr ctx(raw);
    avformat_find_stream_info(ctx.get(), nullptr);
    return ctx;
}

// Reads the movie back with FFmpeg: each stream's codec and its length from its packets.
Probe probe(const fs::path& file)
{
    Probe result;
    const InputPtr ctx = openMovie(file);
    if (!ctx) {
        ADD_FAILURE() << "cannot open " << file;
        return result;
    }
    if (const AVDictionaryEntry* e = av_dict_get(ctx->metadata, "major_brand", nullptr, 0)) result.brand = e->value;
    std::vector<std::int64_t> first(ctx->nb_streams, INT64_MAX), last(ctx->nb_streams, INT64_MIN);
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* s = ctx->streams[i];
        StreamInfo info;
        info.type = s->codecpar->codec_type;
        info.codec = avcodec_get_name(s->codecpar->codec_id);
        info.width = s->codecpar->width;
        info.height = s->codecpar->height;
        info.coverArt = (s->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
        result.streams.push_back(info);
    }
    const PacketPtr packet(av_packet_alloc());
    while (av_read_frame(ctx.get(), packet.get()) >= 0) {
        const unsigned i = static_cast<unsigned>(packet->stream_index);
        if (packet->pts != AV_NOPTS_VALUE) {
            first[i] = std::min(first[i], packet->pts);
            last[i] = std::max(last[i], packet->pts + packet->duration);
            if (result.streams[i].type == AVMEDIA_TYPE_VIDEO && (packet->flags & AV_PKT_FLAG_KEY))
                result.streams[i].keyframes.push_back(packet->pts * av_q2d(ctx->streams[i]->time_base));
        }
        av_packet_unref(packet.get());
    }
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        if (last[i] > first[i])
            result.streams[i].seconds = (last[i] - std::max<std::int64_t>(first[i], 0)) * av_q2d(ctx->streams[i]->time_base);
    return result;
}

// Decodes the whole video stream; a bad joint shows up as a decoder error or lost pictures.
int decodedFrames(const fs::path& file)
{
    const InputPtr ctx = openMovie(file);
    if (!ctx) return -1;
    const int index = av_find_best_stream(ctx.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) return -1;
    const AVCodec* codec = avcodec_find_decoder(ctx->streams[index]->codecpar->codec_id);
    const CodecPtr dec(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(dec.get(), ctx->streams[index]->codecpar);
    dec->err_recognition = AV_EF_EXPLODE;
    int frames = 0;
    bool broken = avcodec_open2(dec.get(), codec, nullptr) < 0;
    const PacketPtr packet(av_packet_alloc());
    const FramePtr frame(av_frame_alloc());
    auto drain = [&] {
        int err;
        while ((err = avcodec_receive_frame(dec.get(), frame.get())) >= 0) {
            if (frame->decode_error_flags) broken = true;
            ++frames;
        }
        if (err != AVERROR(EAGAIN) && err != AVERROR_EOF) broken = true;
    };
    while (!broken && av_read_frame(ctx.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) {
            if (avcodec_send_packet(dec.get(), packet.get()) < 0) broken = true;
            drain();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(dec.get(), nullptr);
    drain();
    return broken ? -1 : frames;
}

ExportSettings settingsFor(ExportContainer container, bool audio = true)
{
    ExportSettings s;
    s.container = container;
    s.includeOriginalAudio = audio;
    return s;
}

// Files in a folder other than the ones named; a failed export must leave no part-file behind.
std::vector<std::string> listing(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class VideoExporterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        media = new files::TemporaryDirectory("export-media");
        const fs::path& m = media->path();
        makeClip(m / "four.mp4", 4);
        makeClip(m / "five.mp4", 5);
        makeClip(m / "three.mp4", 3);
        makeClip(m / "large.mp4", 1, 180, 320);
        // 150 s of video at a low rate keeps the long-song cases cheap.
        makeClip(m / "long.mp4", 150, 90, 160, 5);
        makeTone(m / "tone.m4a", 2, "-c:a aac");
        makeTone(m / "song200.wav", 200);
        makeTone(m / "song100.wav", 100);
        // An MP3 with cover art: its picture stream is not video.
        ffmpeg("-f lavfi -i sine=frequency=330:sample_rate=8000:duration=2 -f lavfi -i color=red:size=32x32:duration=1 "
               "-map 0:a -map 1:v -frames:v 1 -c:a libmp3lame -c:v png -disposition:v attached_pic '"
               + (m / "covered.mp3").string() + "'");
    }
    static void TearDownTestSuite()
    {
        delete media;
        media = nullptr;
    }

    static fs::path clip(const char* name) { return media->path() / name; }

    fs::path out(const std::string& name) const { return dir.path() / name; }

    static files::TemporaryDirectory* media;
    files::TemporaryDirectory dir{"export-out"};
    VideoExporter exporter;
};

files::TemporaryDirectory* VideoExporterTest::media = nullptr;

TEST_F(VideoExporterTest, CopiesMatchingH264ClipsEndToEnd)
{
    const fs::path target = out("video.mp4");
    EXPECT_EQ(exporter.exportVideo({clip("four.mp4"), clip("five.mp4"), clip("three.mp4")}, std::nullopt,
                                   settingsFor(ExportContainer::mp4), target),
              target);

    const Probe p = probe(target);
    ASSERT_EQ(p.count(AVMEDIA_TYPE_VIDEO), 1);
    const StreamInfo& v = *p.first(AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(v.codec, "h264");
    EXPECT_EQ(v.width, 90);
    EXPECT_EQ(v.height, 160);
    EXPECT_NEAR(v.seconds, 12.0, kTolerance);
    // Copied, not re-encoded: each clip keeps its single key frame, now at 0, 4 and 9 s.
    ASSERT_EQ(v.keyframes.size(), 3u);
    EXPECT_NEAR(v.keyframes[0], 0.0, kTolerance);
    EXPECT_NEAR(v.keyframes[1], 4.0, kTolerance);
    EXPECT_NEAR(v.keyframes[2], 9.0, kTolerance);
    EXPECT_EQ(p.count(AVMEDIA_TYPE_AUDIO), 0);
    EXPECT_EQ(decodedFrames(target), 12 * 30);
}

TEST_F(VideoExporterTest, ClipsWithoutVideoAreSkippedWithoutAGap)
{
    const fs::path target = out("video.mp4");
    exporter.exportVideo({clip("four.mp4"), clip("tone.m4a"), clip("covered.mp3"), clip("three.mp4")}, std::nullopt,
                         settingsFor(ExportContainer::mp4), target);
    const Probe p = probe(target);
    ASSERT_EQ(p.count(AVMEDIA_TYPE_VIDEO), 1);
    const StreamInfo& v = *p.first(AVMEDIA_TYPE_VIDEO);
    EXPECT_NEAR(v.seconds, 7.0, kTolerance);
    ASSERT_EQ(v.keyframes.size(), 2u);
    EXPECT_NEAR(v.keyframes[1], 4.0, kTolerance);
}

TEST_F(VideoExporterTest, MixedSizesAreScaledToTheFirstClip)
{
    const fs::path target = out("video.mp4");
    exporter.exportVideo({clip("three.mp4"), clip("large.mp4"), clip("four.mp4")}, clip("song100.wav"),
                         settingsFor(ExportContainer::mp4), target);
    const Probe p = probe(target);
    ASSERT_EQ(p.count(AVMEDIA_TYPE_VIDEO), 1);
    const StreamInfo& v = *p.first(AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(v.codec, "h264");
    EXPECT_EQ(v.width, 90);
    EXPECT_EQ(v.height, 160);
    EXPECT_NEAR(v.seconds, 8.0, kTolerance);
    EXPECT_EQ(decodedFrames(target), 8 * 30);
    ASSERT_NE(p.first(AVMEDIA_TYPE_AUDIO), nullptr);
    EXPECT_NEAR(p.first(AVMEDIA_TYPE_AUDIO)->seconds, 8.0, kTolerance);
}

TEST_F(VideoExporterTest, EachContainerWritesItsCodecs)
{
    struct Case {
        ExportContainer container;
        const char* file;
        const char* brand;
        const char* video;
        const char* audio;
    };
    const Case cases[] = {
        {ExportContainer::mp4, "video.mp4", "isom", "h264", "aac"},
        {ExportContainer::mov, "video.mov", "qt  ", "prores", "pcm_s16le"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path target = out(c.file);
        exporter.exportVideo({clip("four.mp4"), clip("three.mp4")}, clip("song100.wav"), settingsFor(c.container),
                             target);
        const Probe p = probe(target);
        EXPECT_EQ(p.brand, c.brand);
        ASSERT_EQ(p.count(AVMEDIA_TYPE_VIDEO), 1);
        ASSERT_EQ(p.count(AVMEDIA_TYPE_AUDIO), 1);
        EXPECT_EQ(p.first(AVMEDIA_TYPE_VIDEO)->codec, c.video);
        EXPECT_EQ(p.first(AVMEDIA_TYPE_AUDIO)->codec, c.audio);
        EXPECT_NEAR(p.first(AVMEDIA_TYPE_VIDEO)->seconds, 7.0, kTolerance);
        EXPECT_NEAR(p.first(AVMEDIA_TYPE_AUDIO)->seconds, 7.0, kTolerance);

        // Ready for streaming: the index sits before the media data.
        const std::string bytes = files::readAll(target);
        ASSERT_NE(bytes.find("moov"), std::string::npos);
        EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
    }

    // ProRes 422 HQ, not just any ProRes.
    const InputPtr ctx = openMovie(out("video.mov"));
    ASSERT_NE(ctx, nullptr);
    bool hq = false;
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        if (ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            hq = ctx->streams[i]->codecpar->codec_tag == MKTAG('a', 'p', 'c', 'h');
    EXPECT_TRUE(hq);
}

TEST_F(VideoExporterTest, SongRunsForTheShorterOfSongAndVideo)
{
    struct Case {
        const char* name;
        std::optional<fs::path> audio;
        bool include;
        ExportContainer container;
        double audioSeconds; // 0: no audio stream
    };
    const Case cases[] = {
        {"song longer than video", clip("song200.wav"), true, ExportContainer::mp4, 150},
        {"song shorter than video", clip("song100.wav"), true, ExportContainer::mp4, 100},
        {"song shorter, MOV", clip("song100.wav"), true, ExportContainer::mov, 100},
        {"audio switched off", clip("song200.wav"), false, ExportContainer::mp4, 0},
        {"no audio file given", std::nullopt, true, ExportContainer::mp4, 0},
        {"audio file missing", media->path() / "gone.wav", true, ExportContainer::mp4, 0},
        {"audio file without sound", clip("three.mp4"), true, ExportContainer::mp4, 0},
        {"cover art before the sound", clip("covered.mp3"), true, ExportContainer::mp4, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path target = out("video.mp4");
        exporter.exportVideo({clip("long.mp4")}, c.audio, settingsFor(c.container, c.include), target);
        const Probe p = probe(target);
        ASSERT_EQ(p.count(AVMEDIA_TYPE_VIDEO), 1);
        EXPECT_NEAR(p.first(AVMEDIA_TYPE_VIDEO)->seconds, 150.0, kTolerance);
        if (c.audioSeconds == 0) {
            EXPECT_EQ(p.count(AVMEDIA_TYPE_AUDIO), 0);
        } else {
            ASSERT_EQ(p.count(AVMEDIA_TYPE_AUDIO), 1);
            EXPECT_NEAR(p.first(AVMEDIA_TYPE_AUDIO)->seconds, c.audioSeconds, kTolerance);
        }
    }
}

TEST_F(VideoExporterTest, ReportsProgressEndingAtOne)
{
    std::mutex mutex;
    std::vector<double> seen;
    exporter.exportVideo({clip("long.mp4")}, clip("song200.wav"), settingsFor(ExportContainer::mov), out("v.mov"), {},
                         [&](double f) {
                             std::lock_guard lock(mutex);
                             seen.push_back(f);
                         });
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GE(seen.front(), 0.0);
}

// A full disk, as far as the exporting process can tell: every file it writes is
// capped at nothing (EFBIG where a full disk gives ENOSPC; both reach the same code).
TEST_F(VideoExporterTest, AFullDiskIsNamedInTheError)
{
    const fs::path target = out("full.mp4");
    const auto exportOnAFullDisk = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        // Only the soft limit, so it can be lifted again to report (gtest keeps the
        // child's standard error in a file).
        rlimit limits{};
        getrlimit(RLIMIT_FSIZE, &limits);
        const rlimit nothing{0, limits.rlim_max};
        setrlimit(RLIMIT_FSIZE, &nothing);
        try {
            exporter.exportVideo({clip("four.mp4")}, std::nullopt, settingsFor(ExportContainer::mp4), target);
        } catch (const std::exception& error) {
            setrlimit(RLIMIT_FSIZE, &limits);
            std::cerr << error.what() << std::endl;
            std::_Exit(0);
        }
        std::_Exit(1);
    };
    EXPECT_EXIT(exportOnAFullDisk(), ::testing::ExitedWithCode(0), "Export failed: .*File too large");
}

TEST_F(VideoExporterTest, FailuresKeepThePreviousVideoAndLeaveNoPartFile)
{
    writeText(media->path() / "corrupt.mp4", std::string(4096, 'x'));
    writeText(media->path() / "notes.txt", "not a song at all");
    // A "song" that is a playlist of network addresses: it must never be followed.
    // The listener below notices any attempt to fetch its entry.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    writeText(media->path() / "song.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nhttp://127.0.0.1:"
                                               + std::to_string(ntohs(address.sin_port)) + "/part.mp3\n#EXT-X-ENDLIST\n");
    const fs::path target = out("video.mp4");

    struct Case {
        const char* name;
        std::vector<fs::path> clips;
        std::optional<fs::path> audio;
        ExportError::Case error;
        std::string messageStart;
    };
    const Case cases[] = {
        {"no clips", {}, std::nullopt, ExportError::Case::noClips, "There are no rendered clips to export."},
        {"only sound", {clip("tone.m4a"), clip("covered.mp3")}, std::nullopt, ExportError::Case::noClips,
         "There are no rendered clips to export."},
        {"missing clip", {clip("four.mp4"), media->path() / "gone.mp4"}, std::nullopt,
         ExportError::Case::exportFailed, "Export failed: could not open clip gone.mp4"},
        {"corrupt clip", {clip("four.mp4"), media->path() / "corrupt.mp4"}, std::nullopt,
         ExportError::Case::exportFailed, "Export failed: could not open clip corrupt.mp4"},
        {"audio that is not audio", {clip("four.mp4")}, media->path() / "notes.txt", ExportError::Case::exportFailed,
         "Export failed: could not open audio file notes.txt"},
        {"a playlist posing as a song", {clip("four.mp4")}, media->path() / "song.m3u8",
         ExportError::Case::exportFailed, "Export failed: could not open audio file song.m3u8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeText(target, "previous video");
        try {
            exporter.exportVideo(c.clips, c.audio, settingsFor(ExportContainer::mp4), target);
            ADD_FAILURE() << "export reported success";
        } catch (const ExportError& e) {
            EXPECT_EQ(e.errorCase(), c.error);
            EXPECT_EQ(std::string(e.what()).rfind(c.messageStart, 0), 0u) << e.what();
        }
        EXPECT_EQ(files::readAll(target), "previous video");
        EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"video.mp4"});
    }

    EXPECT_LT(::accept(listener, nullptr, nullptr), 0) << "the export reached out to the network";
    ::close(listener);

    // A successful export then replaces it.
    exporter.exportVideo({clip("three.mp4")}, std::nullopt, settingsFor(ExportContainer::mp4), target);
    EXPECT_NEAR(probe(target).first(AVMEDIA_TYPE_VIDEO)->seconds, 3.0, kTolerance);
    EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"video.mp4"});
}

TEST_F(VideoExporterTest, UnwritableDestinationsFail)
{
    // A file where a folder should be: the folder cannot be made.
    writeText(out("plain"), "x");
    EXPECT_THROW(exporter.exportVideo({clip("three.mp4")}, std::nullopt, settingsFor(ExportContainer::mp4),
                                      out("plain") / "sub" / "video.mp4"),
                 fs::filesystem_error);

    // A folder where the movie should go: it is not replaced.
    fs::create_directories(out("taken.mp4") / "inside");
    try {
        exporter.exportVideo({clip("three.mp4")}, std::nullopt, settingsFor(ExportContainer::mp4), out("taken.mp4"));
        ADD_FAILURE() << "export reported success";
    } catch (const ExportError& e) {
        EXPECT_EQ(e.errorCase(), ExportError::Case::exportFailed);
    }
    EXPECT_TRUE(fs::is_directory(out("taken.mp4") / "inside"));
    EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"plain", "taken.mp4"}));
}

TEST_F(VideoExporterTest, CreatesMissingOutputFolders)
{
    const fs::path target = out("a") / "b" / "video.mov";
    exporter.exportVideo({clip("three.mp4")}, std::nullopt, settingsFor(ExportContainer::mov), target);
    EXPECT_NEAR(probe(target).first(AVMEDIA_TYPE_VIDEO)->seconds, 3.0, kTolerance);
}

TEST_F(VideoExporterTest, CancellingKeepsThePreviousVideo)
{
    const fs::path target = out("video.mov");
    struct Case {
        const char* name;
        bool stopBeforeStart;
    };
    for (const Case c : {Case{"stopped before start", true}, Case{"stopped while writing", false}}) {
        SCOPED_TRACE(c.name);
        writeText(target, "previous video");
        std::stop_source stop;
        if (c.stopBeforeStart) stop.request_stop();
        try {
            exporter.exportVideo({clip("long.mp4"), clip("long.mp4")}, clip("song200.wav"),
                                 settingsFor(ExportContainer::mov), target, stop.get_token(),
                                 [&](double) { stop.request_stop(); });
            ADD_FAILURE() << "export reported success";
        } catch (const ExportError& e) {
            EXPECT_EQ(e, ExportError::exportFailed("cancelled"));
            EXPECT_STREQ(e.what(), "Export failed: cancelled");
        }
        EXPECT_EQ(files::readAll(target), "previous video");
        EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"video.mov"});
    }
}

TEST(ExportError, Messages)
{
    EXPECT_STREQ(ExportError::exportFailed("unknown").what(), "Export failed: unknown");
    EXPECT_STREQ(ExportError::noClips().what(), "There are no rendered clips to export.");
    EXPECT_STREQ(ExportError::trackSetupFailed().what(), "Could not assemble the video tracks.");
    EXPECT_STREQ(ExportError::sessionSetupFailed().what(), "Could not create the export session.");
}

} // namespace
