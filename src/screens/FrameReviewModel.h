#pragma once

#include "screens/ScreenModel.h"

#include <QString>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

namespace vl::screens {

// What one frame card needs to decide its buttons and texts.
struct CardInputs {
    long long chunkNumber = 0;
    bool hasFrame = false;
    bool hasRemoteURL = false; // of the current frame; an edit needs it
    long long undoCount = 0;
    long long redoCount = 0;
    bool busy = false;         // any store operation running
    bool planImported = false;
};

// Every flag and text of one card. `editLook` is only the look of "Edit" (it follows
// `busy` alone); whether it reacts is `editEnabled`.
struct CardState {
    QString title;
    QString chipText;
    int chipIntent = 0;
    bool showsVersionChip = false;
    QString versionText;
    bool showsHint = false;
    bool editEnabled = false;
    bool editLook = false;
    QString generateText;
    QString generateSymbol;
    bool generateEnabled = false;
    bool showsImport = false;
    QString importText;
    bool importEnabled = false;
    bool undoEnabled = false;
    bool redoEnabled = false;

    friend bool operator==(const CardState&, const CardState&) = default;
};

CardState cardState(const CardInputs& in);

// The frames page: the count row, "Generate missing", the closing button, and the
// actions of the cards (one per `ScreenServices.chunks` row).
class FrameReviewModel : public vl::screens::ScreenModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool hasChunks READ hasChunks NOTIFY changed)
    Q_PROPERTY(int framed READ framed NOTIFY changed)
    Q_PROPERTY(int total READ total NOTIFY changed)
    Q_PROPERTY(QString countText READ countText NOTIFY changed)
    Q_PROPERTY(bool canGenerateMissing READ canGenerateMissing NOTIFY changed)
    Q_PROPERTY(bool generateMissingLook READ generateMissingLook NOTIFY changed)
    Q_PROPERTY(bool showsMotionButton READ showsMotionButton NOTIFY changed)
    Q_PROPERTY(QString motionButtonText READ motionButtonText NOTIFY changed)
    Q_PROPERTY(bool planImported READ planImported NOTIFY changed)

public:
    struct Page {
        long long framed = 0;
        long long total = 0;
        bool busy = false;
        bool planImported = false;
        friend bool operator==(const Page&, const Page&) = default;
    };

    explicit FrameReviewModel(QObject* parent = nullptr);
    explicit FrameReviewModel(ScreenServices& services, QObject* parent = nullptr);

    bool hasChunks() const { return page_.total > 0; }
    int framed() const { return static_cast<int>(page_.framed); }
    int total() const { return static_cast<int>(page_.total); }
    QString countText() const;
    bool canGenerateMissing() const { return !page_.busy && page_.framed < page_.total; }
    bool generateMissingLook() const { return canGenerateMissing(); }
    bool showsMotionButton() const { return page_.total > 0 && page_.framed >= 1; }
    QString motionButtonText() const;
    bool planImported() const { return page_.planImported; }

    // One card's state, from its row's roles and the page's run state (passed in so a
    // binding over it follows them).
    Q_INVOKABLE QVariantMap cardState(qlonglong chunkNumber, bool hasFrame, const QString& remoteURL,
                                      int undoCount, int redoCount, bool busy, bool planImported) const;

    Q_INVOKABLE void generateMissing();
    Q_INVOKABLE void generate(const QString& chunkID);
    // "Import image" / "Replace image": an image picker, then the store's import.
    Q_INVOKABLE void importImage(const QString& chunkID);
    Q_INVOKABLE void undo(const QString& chunkID);
    Q_INVOKABLE void redo(const QString& chunkID);
    Q_INVOKABLE void goToStoryboard();
    Q_INVOKABLE void goToMotion();

protected:
    bool refresh() override;

private:
    Page page_;
};

} // namespace vl::screens
