// Screens benchmark: how much work the screens' models do per edit. Every figure
// group lives in a file of its own in this folder.
#include "ScreensBench.h"

#include "design/Fonts.h"
#include "model/Files.h"
#include "model/Settings.h"
#include "support/Desktop.h"
#include "support/FilePicker.h"

#include <QGuiApplication>

namespace vl::bench {

namespace {

struct NoPicker final : support::FilePicker {
    void pick(const support::FileRequest&, Answer answer) override { answer(QString()); }
};

struct NoDesktop final : support::Desktop {
    void reveal(const QString&) override {}
    bool openUrl(const QUrl&) override { return false; }
};

} // namespace

struct BenchStore::Parts {
    files::TemporaryDirectory folder{"bench-screens"};
    MemorySettings settings;
    NoPicker picker;
    NoDesktop desktop;
};

std::vector<ScreensGroup>& screensGroups()
{
    static std::vector<ScreensGroup> groups;
    return groups;
}

Report& report()
{
    static Report screens("screens");
    return screens;
}

BenchStore::BenchStore(Project project, PipelineServices services)
    : parts_(std::make_unique<Parts>())
{
    StoreContext context;
    context.settings = &parts_->settings;
    context.projectsRoot = parts_->folder.path() / "projects";
    context.loadKey = [] { return std::optional<std::string>(); };
    store_ = std::make_unique<ProjectStore>(std::move(project), std::move(services), context);
    services_ = std::make_unique<screens::ScreenServices>(*store_, parts_->picker, parts_->desktop);
}

BenchStore::~BenchStore()
{
    services_.reset();
    store_.reset();
}

Project plannedBenchProject(int chunks)
{
    Project p = ProjectStore::defaultNewProject();
    p.title = "Benchmark Song";
    p.artist = "Bench";
    p.audioPath = "/music/bench.mp3";
    CharacterReference mara;
    mara.name = "Mara";
    mara.processedImageURL = "https://cdn.example/mara.png";
    p.characters = {mara};
    StoryboardPlan plan;
    for (const char* id : {"boat", "pier", "lamp", "harbour", "gull"}) {
        PlanElement e;
        e.id = id;
        e.type = "prop";
        e.continuityDescription = "the same every time";
        plan.elements.push_back(e);
    }
    plan.colorScheme = {"#ff3366", "#00ffaa", "#3366ff", "#ffaa00", "#aa00ff", "#00aaff", "#ff00aa"};
    p.plan = plan;
    for (int i = 0; i < chunks; ++i) {
        p.transcript.push_back({Uuid::random(), "lyric line " + std::to_string(i), i * 2.0, i * 2.0 + 1.75});
        StoryboardChunk c;
        c.index = i;
        c.chunkNumber = i + 1;
        c.start = i * 2.0;
        c.end = i * 2.0 + 1.75;
        c.lyricExcerpt = "lyric line " + std::to_string(i);
        c.renderedText = "LYRIC LINE " + std::to_string(i);
        c.surface = "a neon sign";
        c.elementIdsUsed = {"pier", "boat"};
        c.imagePrompt = "An image prompt for chunk " + std::to_string(i);
        c.primaryCharacterInFrame = i % 3 == 0;
        p.chunks.push_back(std::move(c));
    }
    return p;
}

} // namespace vl::bench

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The preview page plays H.264 clips, which only the FFmpeg backend can here.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    QGuiApplication app(argc, argv);
    // The windows draw in the program's own fonts, as the program's do.
    vl::design::registerBundledFonts();
    // A group that fails does not keep the others from measuring; the run still fails.
    int exitCode = 0;
    for (const auto& group : vl::bench::screensGroups())
        exitCode = vl::bench::report().run(group.run);
    return exitCode;
}
