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
};

} // namespace vl::screens
