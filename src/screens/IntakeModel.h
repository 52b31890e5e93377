#pragma once

#include "screens/ScreenModel.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <string_view>

namespace vl::screens {

// The intake screen: the hero with its file chooser and drop zone while no song is
// imported, then the track's details, its lyrics and "Align timing".
class IntakeModel : public vl::screens::ScreenModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool showsHero READ showsHero NOTIFY changed)
    Q_PROPERTY(QString heroExplainer READ heroExplainer NOTIFY changed)
    Q_PROPERTY(QString title READ title WRITE setTitle NOTIFY changed)
    Q_PROPERTY(QString artist READ artist WRITE setArtist NOTIFY changed)
    Q_PROPERTY(QString audioFileName READ audioFileName NOTIFY changed)
    Q_PROPERTY(QString lyrics READ lyrics WRITE setLyrics NOTIFY changed)
    Q_PROPERTY(int maximumLyricsBytes READ maximumLyricsBytes CONSTANT)
    Q_PROPERTY(QString lineCountText READ lineCountText NOTIFY changed)
    Q_PROPERTY(bool hasLyricsSource READ hasLyricsSource NOTIFY changed)
    Q_PROPERTY(QString lyricsSourceText READ lyricsSourceText NOTIFY changed)
    Q_PROPERTY(int lyricsSourceIntent READ lyricsSourceIntent NOTIFY changed)
    Q_PROPERTY(bool timingInProgress READ timingInProgress NOTIFY changed)
    Q_PROPERTY(bool showManualEntry READ showManualEntry NOTIFY changed)
    Q_PROPERTY(bool showsEditor READ showsEditor NOTIFY changed)
    Q_PROPERTY(bool showsNoLyrics READ showsNoLyrics NOTIFY changed)
    Q_PROPERTY(bool canAlignTiming READ canAlignTiming NOTIFY changed)

public:
    explicit IntakeModel(QObject* parent = nullptr);
    explicit IntakeModel(ScreenServices& services, QObject* parent = nullptr);

    // What a drop may import, compared with the lower-cased extension.
    static const QStringList& acceptedDropExtensions();
    // The open dialog's filter: the same extensions.
    static QString audioNameFilter();
    // Lines of lyrics with words on them: line breaks split, lines blank after
    // trimming spaces and tabs do not count.
    static long long lyricLineCount(std::string_view lyrics);

    bool showsHero() const { return state_.showsHero; }
    // What the hero says happens to a song, naming the speech engine that would
    // transcribe it (none named when there is none).
    QString heroExplainer() const { return state_.heroExplainer; }
    static QString heroExplainer(const std::string& engineName);
    QString title() const { return state_.title; }
    void setTitle(const QString& title);
    QString artist() const { return state_.artist; }
    void setArtist(const QString& artist);
    QString audioFileName() const { return state_.audioFileName; }
    QString lyrics() const { return state_.lyrics; }
    // The editor's write: a changed text makes the lyrics manual and drops the timing,
    // in one edit; the same text changes nothing, and a text over the limit is refused.
    void setLyrics(const QString& lyrics);
    static int maximumLyricsBytes();
    // The editor turned away text that would have taken the lyrics past their limit.
    Q_INVOKABLE void refuseLyrics();
    QString lineCountText() const { return QStringLiteral("%1 lines").arg(state_.lineCount); }
    bool hasLyricsSource() const { return state_.hasSource; }
    QString lyricsSourceText() const { return state_.sourceText; }
    int lyricsSourceIntent() const { return state_.sourceIntent; }
    bool timingInProgress() const { return state_.timingInProgress; }
    bool showManualEntry() const { return showManualEntry_; }
    bool showsEditor() const { return state_.hasWords || showManualEntry_; }
    bool showsNoLyrics() const { return !showsEditor() && !state_.timingInProgress; }
    bool canAlignTiming() const;

    // The hero's button and "Replace…": asks for one audio file and imports it.
    Q_INVOKABLE void chooseFile();
    // A drop on the hero: only the first address counts, and only a local file with an
    // accepted extension is imported. True when there was anything to take (the drop is
    // accepted before its file is looked at, like the platform does).
    Q_INVOKABLE bool dropUrls(const QList<QUrl>& urls);
    // "Manually provide lyrics".
    Q_INVOKABLE void provideLyricsManually();
    // "Align timing": aligns when there is no transcript yet, then moves on to timing
    // review unless the store reports an error.
    Q_INVOKABLE void alignTiming();

protected:
    bool refresh() override;

private:
    struct State {
        bool showsHero = true;
        QString heroExplainer;
        QString title;
        QString artist;
        QString audioFileName;
        QString lyrics;
        long long lineCount = 0;
        bool hasWords = false; // lyrics not blank once trimmed of white space and line breaks
        bool hasSource = false;
        QString sourceText;
        int sourceIntent = 0;
        bool timingInProgress = false;
        bool hasTranscript = false;
        bool operator==(const State&) const = default;
    };
    State state_;
    bool showManualEntry_ = false;
};

} // namespace vl::screens
