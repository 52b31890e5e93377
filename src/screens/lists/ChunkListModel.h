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
    // `currentClip`: the store found the chunk's recorded clip current.
    static Row rowOf(const StoryboardChunk& chunk, bool currentClip);
    // The chunks the rows were last made from, position by position, and whether
    // each one's clip was current then.
    mutable std::vector<StoryboardChunk> builtFrom_;
    mutable std::vector<bool> builtWithCurrentClip_;
};

} // namespace vl::screens
