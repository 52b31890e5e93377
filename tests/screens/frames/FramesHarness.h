#pragma once

#include "app/AppFixtures.h"
#include "fakes/PictureBytes.h"

#include <QObject>
#include <QString>
#include <QTest>
#include <QWindow>
#include <QtQml/qqmlregistration.h>

#include <fstream>
#include <memory>

class QJSEngine;
class QQmlEngine;

namespace vl::testing {

// What the QML tests reach as the singleton Harness, one per engine: pictures served by
// the loopback vendor, and a store with one chunk whose frame was generated there.
class FramesHarness : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Harness)
    QML_SINGLETON
    Q_PROPERTY(QObject* store READ storeObject CONSTANT)
    Q_PROPERTY(QString chunkID READ chunkID CONSTANT)

public:
    // Becomes the engine's Harness.
    explicit FramesHarness(QQmlEngine& engine);
    static FramesHarness* create(QQmlEngine* engine, QJSEngine*);

    QObject* storeObject() const { return store_.get(); }
    QString chunkID() const { return chunkID_; }

    // A picture at the vendor that takes `delayMs` to start arriving.
    Q_INVOKABLE QString slowPicture(int delayMs)
    {
        const std::string path = "/media/slow-" + std::to_string(++served_) + ".png";
        fakes::Reply reply = fakes::Reply::text(fakes::FakeVendor::pngBytes(), 200, "image/png");
        reply.delay = std::chrono::milliseconds(delayMs);
        h.vendor.serveFile(path, reply);
        return QString::fromStdString(h.vendor.url(path));
    }
    Q_INVOKABLE QString missingPicture()
    {
        const std::string path = "/media/missing-" + std::to_string(++served_) + ".png";
        h.vendor.serveFile(path, fakes::Reply::text("not found", 404));
        return QString::fromStdString(h.vendor.url(path));
    }
    // A picture at the vendor larger than any the program fetches: a whole PNG with
    // a private chunk that makes it 65 MB.
    Q_INVOKABLE QString oversizedPicture()
    {
        const std::string png = fakes::FakeVendor::pngBytes();
        const std::string iend = png.substr(png.size() - 12);
        const std::string bytes = png.substr(0, png.size() - 12)
                                  + pngChunk("zzZz", std::string(std::size_t(65) << 20, '\0')) + iend;
        const std::string path = "/media/oversized-" + std::to_string(++served_) + ".png";
        h.vendor.serveFile(path, fakes::Reply::text(bytes, 200, "image/png"));
        return QString::fromStdString(h.vendor.url(path));
    }
    // A few bytes of PNG claiming 30000 x 30000 pixels (900 megapixels).
    Q_INVOKABLE QString bombFile() const
    {
        const auto path = h.folder.path() / "bomb.png";
        std::ofstream(path, std::ios::binary) << pngClaiming(30000, 30000);
        return QString::fromStdString(path.string());
    }
    Q_INVOKABLE QString localPicture() const { return QString::fromStdString(h.picture("local.png")); }
    Q_INVOKABLE QString goneFile() const { return QString::fromStdString((h.folder.path() / "gone.png").string()); }
    Q_INVOKABLE int requestsTo(const QString& url) const
    {
        int n = 0;
        for (const auto& r : h.vendor.requests())
            n += h.vendor.url(r.path) == url.toStdString() ? 1 : 0;
        return n;
    }
    Q_INVOKABLE int editRequests() const
    {
        int n = 0;
        for (const auto& r : h.vendor.requests(fakes::Route::submit))
            n += r.body.find("users_edit_request") != std::string::npos ? 1 : 0;
        return n;
    }
    Q_INVOKABLE bool idle() const { return store_->workers().activeCount() == 0; }
    Q_INVOKABLE QString editRequestOfFrame() const
    {
        const auto& frame = store_->project().chunks[0].frame;
        return frame && frame->editRequest ? QString::fromStdString(*frame->editRequest) : QString();
    }
    // Keys go to a window of the test's choosing (a sheet is a window of its own).
    Q_INVOKABLE void keyClick(QObject* window, int key, int modifiers)
    {
        if (auto* w = qobject_cast<QWindow*>(window))
            QTest::keyClick(w, static_cast<Qt::Key>(key), Qt::KeyboardModifiers(modifiers));
    }

private:
    StoreHarness h;
    std::unique_ptr<ProjectStore> store_;
    QString chunkID_;
    int served_ = 0;
};

} // namespace vl::testing
