#pragma once

#include "screens/ScreenModel.h"

#include <QString>
#include <QtQml/qqmlregistration.h>

#include <optional>
#include <set>

namespace vl::screens {

// What the motion page shows, read from the project and the store's run state.
struct MotionState {
    enum class Notice { none, nothingFramed, someMissing };

    long long total = 0;
    long long framed = 0;
    long long clipsRendered = 0; // framed chunks whose recorded clip is current
    Notice notice = Notice::none;
    QString noticeSymbol;
    QString noticeText;
    QString framesText;
    QString clipText;
    bool canRender = false;
    bool canPreview = false;
    bool showsMeter = false;
    double progress = 0;

    friend bool operator==(const MotionState&, const MotionState&) = default;
};

// `currentClips`: the chunks whose recorded clip the store found current; a recorded
// path alone (a stale clip after an undo, a new size or new timing) does not count.
MotionState motionState(const Project& project, const std::set<Uuid>& currentClips, bool busy,
                        std::optional<double> progress);

// The motion page: render one clip per framed chunk, follow the render, move on.
class MotionControlsModel : public vl::screens::ScreenModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(int total READ total NOTIFY changed)
    Q_PROPERTY(int framed READ framed NOTIFY changed)
    Q_PROPERTY(int clipsRendered READ clipsRendered NOTIFY changed)
    Q_PROPERTY(bool showsNotice READ showsNotice NOTIFY changed)
    Q_PROPERTY(QString noticeSymbol READ noticeSymbol NOTIFY changed)
    Q_PROPERTY(QString noticeText READ noticeText NOTIFY changed)
    Q_PROPERTY(bool noticeWraps READ noticeWraps NOTIFY changed)
    Q_PROPERTY(QString framesText READ framesText NOTIFY changed)
    Q_PROPERTY(QString clipText READ clipText NOTIFY changed)
    Q_PROPERTY(bool canRender READ canRender NOTIFY changed)
    Q_PROPERTY(bool canPreview READ canPreview NOTIFY changed)
    Q_PROPERTY(bool showsMeter READ showsMeter NOTIFY changed)
    Q_PROPERTY(double progress READ progress NOTIFY changed)

public:
    explicit MotionControlsModel(QObject* parent = nullptr);
    explicit MotionControlsModel(ScreenServices& services, QObject* parent = nullptr);

    const MotionState& state() const { return state_; }
    int total() const { return static_cast<int>(state_.total); }
    int framed() const { return static_cast<int>(state_.framed); }
    int clipsRendered() const { return static_cast<int>(state_.clipsRendered); }
    bool showsNotice() const { return state_.notice != MotionState::Notice::none; }
    QString noticeSymbol() const { return state_.noticeSymbol; }
    QString noticeText() const { return state_.noticeText; }
    bool noticeWraps() const { return state_.notice == MotionState::Notice::someMissing; }
    QString framesText() const { return state_.framesText; }
    QString clipText() const { return state_.clipText; }
    bool canRender() const { return state_.canRender; }
    bool canPreview() const { return state_.canPreview; }
    bool showsMeter() const { return state_.showsMeter; }
    double progress() const { return state_.progress; }

    // "Render motion": the store's render under "Rendering motion"; its progress,
    // clip paths and failures come back through the store.
    Q_INVOKABLE void renderMotion();
    Q_INVOKABLE void goToFrames();
    Q_INVOKABLE void goToPreview();

protected:
    bool refresh() override;

private:
    MotionState state_;
};

} // namespace vl::screens
