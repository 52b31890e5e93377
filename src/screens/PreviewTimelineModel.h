#pragma once

#include "screens/ScreenModel.h"

#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <set>

namespace vl::screens {

// What the preview page's stage and footer show. The selection lives in the store
// (`selectedChunkID`); the shown chunk is the selected one, else the first.
struct PreviewState {
    enum class Stage { empty, still, player };

    Stage stage = Stage::empty;
    QString shownChunkID;
    bool shownHasFrame = false;
    QString shownLocalPath;
    QString shownRemoteURL;
    QString shownText;
    QUrl clipUrl; // set only when the stage is the player
    double clipStartSeconds = 0; // where the shown clip starts in the video
    QString timeText;
    QString durationText;
    QString chipText;
    int chipIntent = 0;
    bool canExport = false;

    friend bool operator==(const PreviewState&, const PreviewState&) = default;
};

// The sequence's clock: where the shown clip sits in the video, plus how far it has
// played when it is the player that shows it.
QString sequenceClock(const PreviewState& state, double playbackSeconds);

// A clip can be played when its file exists and holds something.
bool clipPlayable(const std::string& path);

// `songSeconds`: the song's known length (0 when unknown), with which the export lays
// the clips out. `currentClips`: the chunks whose recorded clip the store found
// current; only those are played. `playbackSeconds`: how far the shown chunk's clip
// has played; the clock reads the clip's place in the video plus that.
PreviewState previewState(const Project& project, double songSeconds, const std::optional<Uuid>& selectedChunkID,
                          const std::set<Uuid>& currentClips, double playbackSeconds = 0);

// The preview page. `clipUrl` is signalled on its own and only when it really changes,
// so a redraw for any other reason keeps the player's source, and with it playback.
class PreviewTimelineModel : public vl::screens::ScreenModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(int stage READ stage NOTIFY changed)
    Q_PROPERTY(bool showsPlayer READ showsPlayer NOTIFY changed)
    Q_PROPERTY(bool showsStill READ showsStill NOTIFY changed)
    Q_PROPERTY(QString shownChunkID READ shownChunkID NOTIFY changed)
    Q_PROPERTY(bool shownHasFrame READ shownHasFrame NOTIFY changed)
    Q_PROPERTY(QString shownLocalPath READ shownLocalPath NOTIFY changed)
    Q_PROPERTY(QString shownRemoteURL READ shownRemoteURL NOTIFY changed)
    Q_PROPERTY(QString shownText READ shownText NOTIFY changed)
    Q_PROPERTY(QUrl clipUrl READ clipUrl NOTIFY clipUrlChanged)
    Q_PROPERTY(QString timeText READ timeText NOTIFY changed)
    Q_PROPERTY(QString durationText READ durationText NOTIFY changed)
    Q_PROPERTY(QString chipText READ chipText NOTIFY changed)
    Q_PROPERTY(int chipIntent READ chipIntent NOTIFY changed)
    Q_PROPERTY(bool canExport READ canExport NOTIFY changed)
    // The player's position in the shown clip, in milliseconds; the view binds it.
    Q_PROPERTY(qint64 playbackPosition READ playbackPosition WRITE setPlaybackPosition NOTIFY playbackPositionChanged)

public:
    explicit PreviewTimelineModel(QObject* parent = nullptr);
    explicit PreviewTimelineModel(ScreenServices& services, QObject* parent = nullptr);

    const PreviewState& state() const { return state_; }
    int stage() const { return static_cast<int>(state_.stage); }
    bool showsPlayer() const { return state_.stage == PreviewState::Stage::player; }
    bool showsStill() const { return state_.stage == PreviewState::Stage::still; }
    QString shownChunkID() const { return state_.shownChunkID; }
    bool shownHasFrame() const { return state_.shownHasFrame; }
    QString shownLocalPath() const { return state_.shownLocalPath; }
    QString shownRemoteURL() const { return state_.shownRemoteURL; }
    QString shownText() const { return state_.shownText; }
    QUrl clipUrl() const { return state_.clipUrl; }
    QString timeText() const { return state_.timeText; }
    QString durationText() const { return state_.durationText; }
    QString chipText() const { return state_.chipText; }
    int chipIntent() const { return state_.chipIntent; }
    bool canExport() const { return state_.canExport; }
    qint64 playbackPosition() const { return playbackPosition_; }
    void setPlaybackPosition(qint64 milliseconds);

    // A tap on a thumbnail.
    Q_INVOKABLE void select(const QString& chunkID);
    // "Export".
    Q_INVOKABLE void goToExport();

signals:
    void clipUrlChanged();
    void playbackPositionChanged();

protected:
    bool refresh() override;

private:
    PreviewState state_;
    qint64 playbackPosition_ = 0;
};

} // namespace vl::screens
