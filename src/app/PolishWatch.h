#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QQuickItem;
class QQuickWindow;

namespace vl::app {

// Counts how often each item of a window is polished (laid out, or a canvas painted),
// until the window's first frame or for as long as it lives, so a smoke run can refuse
// a window that lays the same item out again and again before anyone sees it. It runs
// the window's polish pass itself, in the order Qt would, just before the window's own.
class PolishWatch final : public QObject {
    Q_OBJECT
public:
    enum class Until { firstFrame, destroyed };
    explicit PolishWatch(QQuickWindow* window, Until until = Until::firstFrame, QObject* parent = nullptr);

    QQuickWindow* window() const;
    // True once the window has shown its first frame; counting stops there.
    bool firstFrameShown() const { return shown_; }
    // The items polished more than `limit` times, one line each with the count.
    QStringList itemsPolishedMoreThan(int limit) const;
    int mostPolishes() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void polishNow();

    struct Count {
        int polishes = 0;
        QString description;
    };
    QPointer<QQuickWindow> window_;
    QHash<const QQuickItem*, Count> counts_;
    bool shown_ = false;
    const bool stopsAtFirstFrame_;
};

// "Type(objectName) < parent type < …": enough to find an item in the QML.
QString describeItem(const QQuickItem* item);

} // namespace vl::app
