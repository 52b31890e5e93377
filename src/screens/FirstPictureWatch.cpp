#include "screens/FirstPictureWatch.h"

#include <QMediaPlayer>
#include <QVideoFrame>
#include <QVideoSink>

#include <algorithm>

namespace vl::screens {

FirstPictureWatch::FirstPictureWatch(QObject* parent)
    : QObject(parent)
{
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &FirstPictureWatch::wake);
}

QObject* FirstPictureWatch::player() const
{
    return player_;
}

void FirstPictureWatch::setPlayer(QObject* player)
{
    auto* mediaPlayer = qobject_cast<QMediaPlayer*>(player);
    if (mediaPlayer == player_)
        return;
    disconnect(sourceConnection_);
    disconnect(errorConnection_);
    player_ = mediaPlayer;
    if (player_) {
        sourceConnection_ = connect(player_, &QMediaPlayer::sourceChanged, this, &FirstPictureWatch::watchNewSource);
        // A source the player cannot read never shows a picture: nothing to wake.
        errorConnection_ = connect(player_, &QMediaPlayer::errorOccurred, this, [this] { timer_.stop(); });
    }
    emit playerChanged();
    watchNewSource();
}

QObject* FirstPictureWatch::videoSink() const
{
    return sink_;
}

void FirstPictureWatch::setVideoSink(QObject* sink)
{
    auto* videoSink = qobject_cast<QVideoSink*>(sink);
    if (videoSink == sink_)
        return;
    disconnect(frameConnection_);
    sink_ = videoSink;
    // The sink is handed its frames on the player's rendering thread: queued to this one.
    if (sink_)
        frameConnection_ = connect(sink_, &QVideoSink::videoFrameChanged, this, &FirstPictureWatch::frameArrived,
                                   Qt::QueuedConnection);
    emit videoSinkChanged();
    watchNewSource();
}

void FirstPictureWatch::watchNewSource()
{
    timer_.stop();
    setShown(false);
    if (wakes_ != 0) {
        wakes_ = 0;
        emit wakesChanged();
    }
    // Pictures of the clip before may still be queued to this object; they all arrive
    // before this call, which opens the watch to the new clip's. A picture of the new
    // clip that comes sooner only costs one wake.
    const quint64 source = ++source_;
    listening_ = false;
    QMetaObject::invokeMethod(
        this,
        [this, source] {
            if (source == source_)
                listening_ = true;
        },
        Qt::QueuedConnection);
    if (player_ && sink_ && !player_->source().isEmpty())
        timer_.start(kFirstWaitMs);
}

void FirstPictureWatch::frameArrived(const QVideoFrame& frame)
{
    // A stopped player clears the sink with an empty frame: that is no picture.
    if (!listening_ || !frame.isValid() || shown_)
        return;
    timer_.stop();
    setShown(true);
}

void FirstPictureWatch::wake()
{
    if (shown_ || !player_ || player_->source().isEmpty() || player_->error() != QMediaPlayer::NoError)
        return;
    // A seek to where the player stands wakes its reader and, paused, decodes one picture.
    player_->setPosition(player_->position());
    ++wakes_;
    emit wakesChanged();
    if (wakes_ < kMostWakes)
        timer_.start(std::min(kFirstWaitMs << wakes_, kLongestWaitMs));
}

void FirstPictureWatch::setShown(bool shown)
{
    if (shown_ == shown)
        return;
    shown_ = shown;
    emit shownChanged();
}

} // namespace vl::screens
