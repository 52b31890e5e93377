// Typing into one chunk of a 200-chunk project with every list and screen model of the
// storyboard attached: the time per keystroke, and how many rows any list rebuilt
// (inserted, removed or reset) on the way. Nothing but the one role should change.
#include "ScreensBench.h"

#include "app/WorkspaceModel.h"
#include "screens/lists/CharacterListModel.h"
#include "screens/lists/ChunkListModel.h"
#include "screens/lists/ElementListModel.h"
#include "screens/lists/TranscriptListModel.h"
#include "screens/StoryboardModel.h"

#include <QAbstractItemModel>

#include <chrono>

using namespace vl;

VL_SCREENS_BENCH("keystrokes")
{
    constexpr int kChunks = 200;
    constexpr int kKeystrokes = 1000;
    bench::BenchStore bench(bench::plannedBenchProject(kChunks));
    ProjectStore& store = bench.store();

    screens::ChunkListModel chunks(&store);
    screens::CharacterListModel characters(&store);
    screens::TranscriptListModel transcript(&store);
    screens::ElementListModel elements(&store);
    app::WorkspaceModel workspace(&store);
    screens::StoryboardModel storyboard(bench.services());

    long long rowsRebuilt = 0;
    for (QAbstractItemModel* model : std::initializer_list<QAbstractItemModel*>{&chunks, &characters, &transcript,
                                                                                &elements}) {
        QObject::connect(model, &QAbstractItemModel::modelAboutToBeReset, [&, model] { rowsRebuilt += model->rowCount(); });
        QObject::connect(model, &QAbstractItemModel::rowsInserted,
                         [&](const QModelIndex&, int first, int last) { rowsRebuilt += last - first + 1; });
        QObject::connect(model, &QAbstractItemModel::rowsRemoved,
                         [&](const QModelIndex&, int first, int last) { rowsRebuilt += last - first + 1; });
    }

    const int row = kChunks / 2;
    QString text = chunks.get(row, QStringLiteral("renderedText")).toString();
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < kKeystrokes; ++i) {
        text += QChar(u'a' + i % 26);
        chunks.set(row, QStringLiteral("renderedText"), text);
    }
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - started;

    bench::report().figure("keystroke_ms", elapsed.count() / kKeystrokes, "ms", 4);
    bench::report().figure("rows_rebuilt", static_cast<double>(rowsRebuilt), "rows", 0);
}
