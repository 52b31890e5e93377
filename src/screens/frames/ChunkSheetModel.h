#pragma once

#include "pipeline/ProjectStore.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace vl::screens {

// What every frame sheet shares: the store it reads, the chunk it is about, and one
// signal for "something it shows may have changed". The chunk is looked up by id at
// every read and never copied, so a frame changed anywhere shows at once and a chunk
// that went away simply reads as absent.
// Derived models name it with its namespace (`public vl::screens::…`): the QML type
// registrar records a base class as written, and only the full name links the types.
class ChunkSheetModel : public QObject {
    Q_OBJECT
    QML_ANONYMOUS
    Q_PROPERTY(QObject* store READ storeObject WRITE setStoreObject NOTIFY storeChanged)
    Q_PROPERTY(QString chunkID READ chunkID WRITE setChunkID NOTIFY chunkIDChanged)
    Q_PROPERTY(bool chunkExists READ chunkExists NOTIFY stateChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY stateChanged)
    Q_PROPERTY(QString renderedText READ renderedText NOTIFY stateChanged)
    Q_PROPERTY(bool hasFrame READ hasFrame NOTIFY stateChanged)
    Q_PROPERTY(QString localPath READ localPath NOTIFY stateChanged)
    Q_PROPERTY(QString remoteURL READ remoteURL NOTIFY stateChanged)
    Q_PROPERTY(QString lastEditText READ lastEditText NOTIFY stateChanged)
    Q_PROPERTY(bool showsMeter READ showsMeter NOTIFY stateChanged)
    Q_PROPERTY(double progress READ progress NOTIFY stateChanged)

public:
    explicit ChunkSheetModel(QObject* parent = nullptr);

    ProjectStore* store() const { return store_; }
    void setStore(ProjectStore* store);
    QObject* storeObject() const { return store_; }
    void setStoreObject(QObject* store) { setStore(qobject_cast<ProjectStore*>(store)); }
    QString chunkID() const { return chunkID_; }
    void setChunkID(const QString& id);

    // The chunk as it is now; nullptr when there is no store or no chunk with the id.
    const StoryboardChunk* chunk() const;
    std::optional<Uuid> chunkUuid() const { return Uuid::parse(chunkID_.toStdString()); }

    bool chunkExists() const { return chunk() != nullptr; }
    bool busy() const { return store_ && store_->isBusy(); }
    QString renderedText() const;
    bool hasFrame() const;
    QString localPath() const;
    QString remoteURL() const;
    // "Last edit: “…”" for a frame made by an edit; empty otherwise.
    QString lastEditText() const;
    // The meter shows only while an operation runs and has published a fraction.
    bool showsMeter() const;
    double progress() const;

signals:
    void storeChanged();
    void chunkIDChanged();
    void stateChanged();

private:
    QPointer<ProjectStore> store_;
    QString chunkID_;
    QList<QMetaObject::Connection> connections_;
};

} // namespace vl::screens
