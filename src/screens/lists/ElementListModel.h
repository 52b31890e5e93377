#pragma once

#include "screens/lists/ProjectListModel.h"

namespace vl::screens {

// The plan's recurring elements, in plan order; none without a plan. `imageSource` is
// what the card shows, as a picture provider address: a readable local file, else an
// http(s) address, else nothing (the placeholder with `placeholderSymbol`).
class ElementListModel final : public ProjectListModel {
    Q_OBJECT
public:
    explicit ElementListModel(ProjectStore* store, QObject* parent = nullptr);

protected:
    std::vector<Row> rowsNow() const override;
    // Only elements whose record changed: a row's picture check reads a file, which
    // an edit elsewhere in the project (a keystroke in a prompt) must not repeat.
    std::optional<std::vector<int>> changedRows() const override;
    Row rowNow(int row) const override;

private:
    static Row rowOf(const PlanElement& element);
    // The elements the rows were last made from, position by position.
    mutable std::vector<PlanElement> builtFrom_;
};

} // namespace vl::screens
