#pragma once

#include "screens/ScreenModel.h"

#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace vl::screens {

// What the export page shows, read from the project and the store's run state.
struct ExportState {
    enum class Gate { none, locked, partial };

    Gate gate = Gate::none;
    QString noticeText; // the partial-frames notice
    QString gateSymbol; // the gate's or the notice's icon; empty with neither
    QString gateText;   // the gate's or the notice's sentence
    int resolutionIndex = 0;
    int containerIndex = 0;
    bool includeOriginalAudio = true;
    bool hasDestination = false;
    QString destinationText; // the folder, or "Not chosen"
    QString chunksText;
    QString acceptedText;
    QString durationText;
    QString outputText;
    QString savedToText; // the file an export writes, folder included
    bool showsMeter = false;
    double progress = 0;
    bool busy = false;
    bool canExport = false;
    QString buttonText;

    friend bool operator==(const ExportState&, const ExportState&) = default;
};

// `songSeconds`: the song's known length (0 when unknown), with which the export lays
// the clips out. `outputPath` is where the export writes (the store knows the project's folder).
ExportState exportState(const Project& project, double songSeconds, bool busy, std::optional<double> progress,
                        const QString& outputPath = {});

// The export page: the settings kept in the project, a summary, the export itself and
// the file it wrote. `lastExport` is the page's own: it starts empty with each page.
class ExportModel : public vl::screens::ScreenModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool showsGate READ showsGate NOTIFY changed)
    Q_PROPERTY(bool showsNotice READ showsNotice NOTIFY changed)
    Q_PROPERTY(QString noticeText READ noticeText NOTIFY changed)
    Q_PROPERTY(QString gateSymbol READ gateSymbol NOTIFY changed)
    Q_PROPERTY(QString gateText READ gateText NOTIFY changed)
    Q_PROPERTY(QStringList resolutionOptions READ resolutionOptions CONSTANT)
    Q_PROPERTY(QStringList containerOptions READ containerOptions CONSTANT)
    Q_PROPERTY(int resolutionIndex READ resolutionIndex WRITE setResolutionIndex NOTIFY changed)
    Q_PROPERTY(int containerIndex READ containerIndex WRITE setContainerIndex NOTIFY changed)
    Q_PROPERTY(bool includeOriginalAudio READ includeOriginalAudio WRITE setIncludeOriginalAudio NOTIFY changed)
    Q_PROPERTY(bool hasDestination READ hasDestination NOTIFY changed)
    Q_PROPERTY(QString destinationText READ destinationText NOTIFY changed)
    Q_PROPERTY(QString chunksText READ chunksText NOTIFY changed)
    Q_PROPERTY(QString acceptedText READ acceptedText NOTIFY changed)
    Q_PROPERTY(QString durationText READ durationText NOTIFY changed)
    Q_PROPERTY(QString outputText READ outputText NOTIFY changed)
    Q_PROPERTY(QString savedToText READ savedToText NOTIFY changed)
    Q_PROPERTY(bool showsMeter READ showsMeter NOTIFY changed)
    Q_PROPERTY(double progress READ progress NOTIFY changed)
    Q_PROPERTY(bool canExport READ canExport NOTIFY changed)
    Q_PROPERTY(QString buttonText READ buttonText NOTIFY changed)
    Q_PROPERTY(bool hasLastExport READ hasLastExport NOTIFY lastExportChanged)
    Q_PROPERTY(QString lastExport READ lastExport NOTIFY lastExportChanged)
    Q_PROPERTY(QString exportedText READ exportedText NOTIFY lastExportChanged)

public:
    explicit ExportModel(QObject* parent = nullptr);
    explicit ExportModel(ScreenServices& services, QObject* parent = nullptr);

    const ExportState& state() const { return state_; }
    bool showsGate() const { return state_.gate == ExportState::Gate::locked; }
    bool showsNotice() const { return state_.gate == ExportState::Gate::partial; }
    QString noticeText() const { return state_.noticeText; }
    QString gateSymbol() const { return state_.gateSymbol; }
    QString gateText() const { return state_.gateText; }
    static QStringList resolutionOptions();
    static QStringList containerOptions();
    int resolutionIndex() const { return state_.resolutionIndex; }
    int containerIndex() const { return state_.containerIndex; }
    bool includeOriginalAudio() const { return state_.includeOriginalAudio; }
    bool hasDestination() const { return state_.hasDestination; }
    QString destinationText() const { return state_.destinationText; }
    QString chunksText() const { return state_.chunksText; }
    QString acceptedText() const { return state_.acceptedText; }
    QString durationText() const { return state_.durationText; }
    QString outputText() const { return state_.outputText; }
    QString savedToText() const { return state_.savedToText; }
    bool showsMeter() const { return state_.showsMeter; }
    double progress() const { return state_.progress; }
    bool canExport() const { return state_.canExport; }
    QString buttonText() const { return state_.buttonText; }
    bool hasLastExport() const { return !lastExport_.isEmpty(); }
    QString lastExport() const { return lastExport_; }
    QString exportedText() const;

    // The settings are the project's: each change is an edit of the open project.
    void setResolutionIndex(int index);
    void setContainerIndex(int index);
    void setIncludeOriginalAudio(bool include);

    // "Choose…": a folder picker; a chosen folder becomes the destination.
    Q_INVOKABLE void chooseDestination();
    // "Review frames".
    Q_INVOKABLE void reviewFrames();
    // "Export lyric video": on success the written file becomes lastExport and is
    // shown in the file manager at once; a failure keeps the previous result.
    Q_INVOKABLE void exportVideo();
    // The page is chosen again: its result row starts empty, as on a new page.
    Q_INVOKABLE void forgetLastExport();
    // "Reveal in File Manager".
    Q_INVOKABLE void revealLastExport();

signals:
    void lastExportChanged();

protected:
    bool refresh() override;

private:
    template <typename Edit>
    void editSettings(Edit&& edit);

    ExportState state_;
    QString lastExport_;
};

} // namespace vl::screens
