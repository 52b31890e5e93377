#include "screens/IntakeModel.h"

#include "design/Intent.h"
#include "media/transcription/Transcriber.h"
#include "model/LyricsLimit.h"
#include "model/PipelineError.h"
#include "model/Text.h"

#include <QFileInfo>
#include <QPointer>

#include <filesystem>

namespace vl::screens {

namespace {

struct SourceLabel {
    QString text;
    design::Intent::Value intent;
};

SourceLabel sourceLabel(LyricsSource source, const std::optional<std::string>& engine)
{
    using design::Intent::Value;
    switch (source) {
    case LyricsSource::embeddedVerified:
        return {QStringLiteral("Lyrics from file · verified"), Value::Good};
    case LyricsSource::embeddedUnverified:
        return {QStringLiteral("Lyrics from file"), Value::Neutral};
    case LyricsSource::embeddedMismatch:
        return {QStringLiteral("Lyrics may not match audio"), Value::Bad};
    case LyricsSource::transcribed:
        if (engine && !engine->empty())
            return {QStringLiteral("Transcribed with ") + QString::fromStdString(*engine), Value::Accent};
        return {QStringLiteral("Transcribed"), Value::Accent};
    case LyricsSource::manual:
        break;
    }
    return {QStringLiteral("Edited manually"), Value::Neutral};
}

} // namespace

IntakeModel::IntakeModel(QObject* parent)
    : ScreenModel(parent)
{
}

IntakeModel::IntakeModel(ScreenServices& services, QObject* parent)
    : ScreenModel(parent)
{
    setServices(&services);
}

const QStringList& IntakeModel::acceptedDropExtensions()
{
    static const QStringList extensions{QStringLiteral("mp3"),  QStringLiteral("m4a"), QStringLiteral("wav"),
                                        QStringLiteral("aiff"), QStringLiteral("aif"), QStringLiteral("aac"),
                                        QStringLiteral("flac"), QStringLiteral("mp4")};
    return extensions;
}

QString IntakeModel::audioNameFilter()
{
    QStringList patterns;
    for (const QString& extension : acceptedDropExtensions())
        patterns << QStringLiteral("*.") + extension;
    return QStringLiteral("Audio (%1)").arg(patterns.join(QLatin1Char(' ')));
}

long long IntakeModel::lyricLineCount(std::string_view lyrics)
{
    long long count = 0;
    for (const std::string& line : text::lyricLines(lyrics))
        if (!text::trimSpacesAndTabs(line).empty())
            ++count;
    return count;
}

QString IntakeModel::heroExplainer(const std::string& engineName)
{
    QString text = QStringLiteral("Verseloom reads the file's tags to fill in the title and artist, and pulls the "
                                  "lyrics straight from the file");
    // The transcription engines' own names for Whisper and for no engine at all.
    if (engineName == "Local Whisper")
        return text + QStringLiteral(" \u2014 or transcribes them with Whisper.");
    if (!engineName.empty() && engineName != "None")
        return text + QStringLiteral(" \u2014 or transcribes them with ") + QString::fromStdString(engineName) + '.';
    return text + '.';
}

bool IntakeModel::refresh()
{
    State next;
    std::string engine;
    if (const ProjectStore* s = store(); s && s->services().transcriber)
        engine = s->services().transcriber->name();
    next.heroExplainer = heroExplainer(engine);
    if (const ProjectStore* s = store()) {
        const Project& p = s->project();
        next.showsHero = p.audioPath.empty();
        next.title = QString::fromStdString(p.title);
        next.artist = QString::fromStdString(p.artist);
        next.audioFileName = QString::fromStdString(std::filesystem::path(p.audioPath).filename().string());
        next.lyrics = QString::fromStdString(p.rawLyrics);
        next.lineCount = lyricLineCount(p.rawLyrics);
        next.hasWords = !text::trimWhitespaceAndNewlines(p.rawLyrics).empty();
        if (p.lyricsSource) {
            const SourceLabel label = sourceLabel(*p.lyricsSource, p.transcriptionEngine);
            next.hasSource = true;
            next.sourceText = label.text;
            next.sourceIntent = label.intent;
        }
        next.timingInProgress = s->timingInProgress();
        next.hasTranscript = !p.transcript.empty();
    }
    if (next == state_)
        return false;
    state_ = std::move(next);
    return true;
}

bool IntakeModel::canAlignTiming() const
{
    return !state_.timingInProgress && !busy() && (state_.hasWords || showManualEntry_);
}

void IntakeModel::setTitle(const QString& title)
{
    ProjectStore* s = store();
    const std::string value = title.toStdString();
    if (s && s->project().title != value)
        s->editProject([&](Project& p) { p.title = value; });
}

void IntakeModel::setArtist(const QString& artist)
{
    ProjectStore* s = store();
    const std::string value = artist.toStdString();
    if (s && s->project().artist != value)
        s->editProject([&](Project& p) { p.artist = value; });
}

int IntakeModel::maximumLyricsBytes()
{
    return static_cast<int>(kMaxLyricsBytes);
}

void IntakeModel::refuseLyrics()
{
    if (ProjectStore* s = store())
        s->setLastError(std::string(PipelineError::message(PipelineError::lyricsTooLong)));
}

void IntakeModel::setLyrics(const QString& lyrics)
{
    ProjectStore* s = store();
    const std::string value = lyrics.toStdString();
    if (!s || s->project().rawLyrics == value)
        return;
    // The editor keeps within the limit; nothing past it reaches the project.
    if (value.size() > kMaxLyricsBytes) {
        refuseLyrics();
        return;
    }
    s->editProject([&](Project& p) {
        p.rawLyrics = value;
        p.lyricsSource = LyricsSource::manual;
        p.transcript.clear();
    });
}

void IntakeModel::chooseFile()
{
    if (!services())
        return;
    support::FileRequest request;
    request.title = QStringLiteral("Choose an audio file");
    request.nameFilters = {audioNameFilter()};
    // The answer may come after this screen is gone: it holds on to the store only.
    services()->filePicker().pick(request, [store = QPointer<ProjectStore>(store())](const QString& path) {
        if (store && !path.isEmpty())
            store->importAudioFile(path);
    });
}

bool IntakeModel::dropUrls(const QList<QUrl>& urls)
{
    if (urls.isEmpty())
        return false;
    const QUrl& first = urls.constFirst();
    if (!first.isLocalFile())
        return true;
    const QString path = first.toLocalFile();
    if (acceptedDropExtensions().contains(QFileInfo(path).suffix().toLower()) && store())
        store()->importAudioFile(path);
    return true;
}

void IntakeModel::provideLyricsManually()
{
    ProjectStore* s = store();
    if (!s)
        return;
    showManualEntry_ = true;
    s->editProject([](Project& p) { p.lyricsSource = LyricsSource::manual; });
    emit changed(); // the view state changed even when the project's did not
}

void IntakeModel::alignTiming()
{
    ProjectStore* s = store();
    if (!s)
        return;
    // Captures only the store, so leaving the screen while timing runs is safe.
    auto thenReview = [store = QPointer<ProjectStore>(s)] {
        if (store && !store->lastError())
            store->setSelectedStage(PipelineStage::timing);
    };
    if (s->project().transcript.empty())
        s->alignTiming(std::move(thenReview));
    else
        thenReview();
}

} // namespace vl::screens
