#pragma once

#include "screens/frames/ChunkSheetModel.h"

namespace vl::screens {

// The frame viewer: the chunk's number and line, its frame, and every action on it.
// Regenerating the plan throws away the storyboard, the characters and the timed
// lyrics, so the sheet asks first (planQuestion) and it is refused while work runs.
class FrameViewerSheetModel : public vl::screens::ChunkSheetModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString kickerText READ kickerText NOTIFY stateChanged)
    Q_PROPERTY(QString windowTitle READ windowTitle NOTIFY stateChanged)
    Q_PROPERTY(bool canEdit READ canEdit NOTIFY stateChanged)
    Q_PROPERTY(bool canRegenerateImage READ canRegenerateImage NOTIFY stateChanged)
    Q_PROPERTY(bool canRegeneratePlan READ canRegeneratePlan NOTIFY stateChanged)
    Q_PROPERTY(QString planQuestion READ planQuestion NOTIFY stateChanged)

public:
    explicit FrameViewerSheetModel(QObject* parent = nullptr);

    QString kickerText() const;
    // The sheet window's title: the kicker, or "Frame" once the chunk is gone.
    QString windowTitle() const;
    // The edit workflow starts from the frame's address at the vendor.
    bool canEdit() const { return !remoteURL().isEmpty(); }
    bool canRegenerateImage() const { return chunkExists() && !busy(); }
    bool canRegeneratePlan() const { return store() && !busy(); }
    // What regenerating the plan loses, counted for the open project.
    QString planQuestion() const;

    Q_INVOKABLE void regenerateImage();
    // Opens the lightbox on the frame's file, read on a worker; false (and nothing shown)
    // when there is no frame file. A file that does not decode shows nothing either.
    // The address at the vendor is not used here.
    Q_INVOKABLE bool showFullScreen();
    // After the user confirmed: the viewer is asked to close, then the plan is dropped.
    Q_INVOKABLE void regeneratePlan();

signals:
    void closeRequested();
};

} // namespace vl::screens
