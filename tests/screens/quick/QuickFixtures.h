#pragma once

#include "../ScreenFixtures.h"

#include "screens/lists/CharacterListModel.h"
#include "screens/lists/ChunkListModel.h"
#include "screens/lists/ElementListModel.h"
#include "screens/lists/TranscriptListModel.h"

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <memory>

class QJSEngine;
class QQmlEngine;

namespace vl::testing {

// What the tests call: pick a project, read back the store, count list changes. QML
// reaches it as the singleton Fixtures, the one the test program registered for its
// engine; the screens reach the same store and lists through ScreenServices.
class QuickFixtures : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Fixtures)
    QML_SINGLETON
    Q_PROPERTY(int dataChanges READ dataChanges NOTIFY countsChanged)
    Q_PROPERTY(int rowsRebuilt READ rowsRebuilt NOTIFY countsChanged)
    Q_PROPERTY(int stage READ stage NOTIFY countsChanged)
    Q_PROPERTY(int projectChanges READ projectChanges NOTIFY countsChanged)
    // A folder for pictures of the screens (SCREEN_SHOTS), or empty.
    Q_PROPERTY(QString screenShots READ screenShots CONSTANT)

public:
    // Becomes the engine's Fixtures, and its services the engine's ScreenServices.
    explicit QuickFixtures(QQmlEngine& engine);
    ~QuickFixtures() override;

    static QuickFixtures* create(QQmlEngine* engine, QJSEngine*);

    int dataChanges() const { return dataChanges_; }
    int rowsRebuilt() const { return rowsRebuilt_; }
    int stage() const { return static_cast<int>(store_->selectedStage()); }
    int projectChanges() const { return projectChanges_; }
    QString screenShots() const { return qEnvironmentVariable("SCREEN_SHOTS"); }

    // "empty" (no song), "track" (song, lyrics, two timed lines), "noLyrics" (song
    // only), "cast" (two characters, the second processed and active), "planned"
    // (twelve chunks, five elements of which two rendered, seven colours), "overLimit"
    // (a character and an element whose pictures are over the pixel limit, beside a
    // character whose picture reads).
    Q_INVOKABLE void load(const QString& name);
    Q_INVOKABLE void resetCounts();
    Q_INVOKABLE QString chunkText(int row) const;
    Q_INVOKABLE QString segmentText(int row) const;
    Q_INVOKABLE QString characterName(int row) const;
    Q_INVOKABLE QString lyrics() const;

    // Picture provider addresses, as the models make them, of pictures of each kind.
    // `kind`: "picture" (a PNG that reads, red and blue halves), "notAPicture", "bmp" (a picture Qt reads but
    // we do not take), "overLimit", "claims900MP" (a header over the limit, little else).
    Q_INVOKABLE QString fileAddress(const QString& kind) const;
    Q_INVOKABLE QString webAddress(const QString& url) const;
    // An address at the loopback vendor: a picture that takes `delayMs` to start
    // arriving, or one that answers 404.
    Q_INVOKABLE QString vendorPicture(int delayMs, bool missing);
    Q_INVOKABLE bool waitIdle();

signals:
    void countsChanged();

private:
    StoreHarness h;
    vl::test::FakeFilePicker picker;
    vl::test::FakeDesktop desktop;
    std::unique_ptr<ProjectStore> store_;
    std::unique_ptr<screens::ChunkListModel> chunks;
    std::unique_ptr<screens::CharacterListModel> characters;
    std::unique_ptr<screens::TranscriptListModel> transcript;
    std::unique_ptr<screens::ElementListModel> elements;
    std::unique_ptr<screens::ScreenServices> services;
    int dataChanges_ = 0;
    int rowsRebuilt_ = 0;
    int projectChanges_ = 0;
    int served_ = 0;
};

} // namespace vl::testing
