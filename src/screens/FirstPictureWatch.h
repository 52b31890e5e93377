#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

class QMediaPlayer;
class QVideoFrame;
class QVideoSink;

namespace vl::screens {

// Makes sure a new clip reaches the screen. Qt 6.4's FFmpeg player can lose the
// wake-up that starts reading a new source: its reading thread may not be waiting yet
// when pause() or play() signals it, and it then sleeps for good, leaving the player
// black. Until the clip's first picture reaches the sink, the watch seeks the player
// to where it stands, which wakes the reader again; the waits double from a quarter
// of a second, and it gives up after a few (a source without pictures, say).
class FirstPictureWatch : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QObject* player READ player WRITE setPlayer NOTIFY playerChanged)
    Q_PROPERTY(QObject* videoSink READ videoSink WRITE setVideoSink NOTIFY videoSinkChanged)
    // The current source's first picture has been shown.
    Q_PROPERTY(bool shown READ shown NOTIFY shownChanged)
    // How many times the player was woken for the current source.
    Q_PROPERTY(int wakes READ wakes NOTIFY wakesChanged)

public:
    static constexpr int kFirstWaitMs = 250;
    static constexpr int kLongestWaitMs = 4000;
    static constexpr int kMostWakes = 8;

    explicit FirstPictureWatch(QObject* parent = nullptr);

    QObject* player() const;
    void setPlayer(QObject* player);
    QObject* videoSink() const;
    void setVideoSink(QObject* sink);
    bool shown() const { return shown_; }
    int wakes() const { return wakes_; }

signals:
    void playerChanged();
    void videoSinkChanged();
    void shownChanged();
    void wakesChanged();

private:
    void watchNewSource();
    void frameArrived(const QVideoFrame& frame);
    void wake();
    void setShown(bool shown);

    QPointer<QMediaPlayer> player_;
    QPointer<QVideoSink> sink_;
    QMetaObject::Connection sourceConnection_, frameConnection_, errorConnection_;
    QTimer timer_;
    quint64 source_ = 0;
    bool listening_ = false;
    bool shown_ = false;
    int wakes_ = 0;
};

} // namespace vl::screens
