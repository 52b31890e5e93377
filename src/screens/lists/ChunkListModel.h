#pragma once

#include "screens/lists/ProjectListModel.h"

#include <optional>
#include <vector>

namespace vl::screens {

// The project's chunks, in stored order.
class ChunkListModel final : public ProjectListModel {
    Q_OBJECT
public:
    explicit ChunkListModel(ProjectStore* store, QObject* parent = nullptr);

protected:
    std::vector<Row> rowsNow() const override;
    std::optional<std::vector<int>> changedRows() const override;
    Row rowNow(int row) const override;
    bool write(Project& project, const QString& id, int field, const QVariant& value) const override;

private:
    static Row rowOf(const StoryboardChunk& chunk);
    // The chunks the rows were last made from, position by position.
    mutable std::vector<StoryboardChunk> builtFrom_;
};

} // namespace vl::screens
