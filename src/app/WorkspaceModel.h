#pragma once

#include "pipeline/ProjectStore.h"
#include "screens/lists/ProjectListModel.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <string>
#include <vector>

namespace vl::app {

// One row of the stage sidebar.
struct StageRow {
    PipelineStage stage;
    StageStatus status;
    bool isSelected;

    friend bool operator==(const StageRow&, const StageRow&) = default;
};

// The sidebar's rows for the store's open project and selected stage, in stage order.
std::vector<StageRow> stageRows(const ProjectStore& store);

// The sidebar as a list model: stage, label, systemImage, description, status,
// dotColor and isSelected per row.
class StageListModel final : public screens::ProjectListModel {
    Q_OBJECT
public:
    explicit StageListModel(ProjectStore* store, QObject* parent = nullptr);

protected:
    std::vector<Row> rowsNow() const override;
};

// Everything the workspace decides: the sidebar rows and footer, the top bar and
// the status capsule. It reads the store and writes only the selected stage and
// the last error; the QML of the workspace binds to it and lays it out.
class WorkspaceModel final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The application builds the workspace model.")
    Q_PROPERTY(QString title READ title NOTIFY summaryChanged)
    Q_PROPERTY(QString artist READ artist NOTIFY summaryChanged)
    Q_PROPERTY(int framed READ framed NOTIFY summaryChanged)
    Q_PROPERTY(int total READ total NOTIFY summaryChanged)
    Q_PROPERTY(QString frameCountText READ frameCountText NOTIFY summaryChanged)
    Q_PROPERTY(double meterValue READ meterValue NOTIFY summaryChanged)
    Q_PROPERTY(QString chipText READ chipText NOTIFY summaryChanged)
    Q_PROPERTY(int chipIntent READ chipIntent NOTIFY summaryChanged)
    Q_PROPERTY(bool showsRunning READ showsRunning NOTIFY capsuleChanged)
    Q_PROPERTY(bool showsError READ showsError NOTIFY capsuleChanged)
    Q_PROPERTY(QString capsuleText READ capsuleText NOTIFY capsuleChanged)
    Q_PROPERTY(int selectedStage READ selectedStage NOTIFY selectedStageChanged)
    Q_PROPERTY(QString selectedStageLabel READ selectedStageLabel NOTIFY selectedStageChanged)
    Q_PROPERTY(QString selectedStageDescription READ selectedStageDescription NOTIFY selectedStageChanged)
    Q_PROPERTY(vl::app::WorkspaceModel::Screen selectedScreen READ selectedScreen NOTIFY selectedStageChanged)
    Q_PROPERTY(bool windowShown READ windowShown NOTIFY windowShownChanged)
    Q_PROPERTY(vl::screens::ProjectListModel* stages READ stages CONSTANT)

public:
    // Which form the floating status capsule takes.
    enum class Capsule { hidden, running, error };

    // The pipeline's stages as QML names them (values as PipelineStage's).
    enum class Stage { Intake, Timing, Characters, Storyboard, Frames, Style, Motion, Preview, Export };
    Q_ENUM(Stage)
    // The screens the stage area shows.
    enum class Screen {
        IntakeScreen, TimingScreen, CharactersScreen, StoryboardScreen, FramesScreen,
        StyleScreen, MotionScreen, PreviewScreen, ExportScreen, PlaceholderScreen
    };
    Q_ENUM(Screen)

    // The top bar and footer: all read from the open project.
    struct Summary {
        std::string title;  // "Untitled project" when the project's title is empty
        std::string artist; // "—" when empty
        long long framed = 0;
        long long total = 0;
        double meterValue = 0; // framed / total, 0 without chunks
        std::string chipText;
        int chipIntent = 0; // a vl::design::Intent value

        friend bool operator==(const Summary&, const Summary&) = default;
    };

    explicit WorkspaceModel(ProjectStore* store, QObject* parent = nullptr);

    const Summary& summary() const { return summary_; }
    Capsule capsule() const;
    std::string capsuleMessage() const; // the running label or the error; empty when hidden
    std::vector<StageRow> rows() const { return stageRows(*store_); }

    QString title() const { return QString::fromStdString(summary_.title); }
    QString artist() const { return QString::fromStdString(summary_.artist); }
    int framed() const { return static_cast<int>(summary_.framed); }
    int total() const { return static_cast<int>(summary_.total); }
    QString frameCountText() const;
    double meterValue() const { return summary_.meterValue; }
    QString chipText() const { return QString::fromStdString(summary_.chipText); }
    int chipIntent() const { return summary_.chipIntent; }
    bool showsRunning() const { return capsule() == Capsule::running; }
    bool showsError() const { return capsule() == Capsule::error; }
    QString capsuleText() const { return QString::fromStdString(capsuleMessage()); }
    int selectedStage() const { return static_cast<int>(store_->selectedStage()); }
    QString selectedStageLabel() const;
    QString selectedStageDescription() const;
    screens::ProjectListModel* stages() { return &stages_; }

    Screen selectedScreen() const { return screenFor(store_->selectedStage()); }
    // The screen the stage area shows while `stage` is selected.
    static Screen screenFor(PipelineStage stage);
    Q_INVOKABLE static vl::app::WorkspaceModel::Screen screenFor(vl::app::WorkspaceModel::Stage stage);

    // Set once the main window has drawn its first frame: the screens of stages not
    // chosen yet are built after it, never in its way.
    bool windowShown() const { return windowShown_; }
    void markWindowShown();

    // A tap on a sidebar row. The store clears the error only when the stage changes.
    Q_INVOKABLE void selectStage(int stage);
    // The capsule's "Dismiss": clears the error and nothing else.
    Q_INVOKABLE void dismissError();

    static Summary summaryOf(const Project& project);

signals:
    void summaryChanged();
    void capsuleChanged();
    void selectedStageChanged();
    void windowShownChanged();

private:
    void refreshSummary();

    QPointer<ProjectStore> store_;
    Summary summary_;
    bool windowShown_ = false;
    StageListModel stages_;
};

} // namespace vl::app
