#include "screens/lists/ElementListModel.h"

#include "screens/PictureProvider.h"
#include "screens/frames/FrameContent.h"
#include "screens/lists/RowValues.h"


namespace vl::screens {

using namespace lists;

ElementListModel::ElementListModel(ProjectStore* store, QObject* parent)
    : ProjectListModel(store,
                       {"elementID", "type", "continuityDescription", "imageLocalPath", "imageRemoteURL",
                        "isRendered", "imageSource", "isRemoteImage", "placeholderSymbol"},
                       parent)
{
    sync();
}

std::vector<ProjectListModel::Row> ElementListModel::rowsNow() const
{
    std::vector<Row> rows;
    const auto& plan = store().project().plan;
    builtFrom_.clear();
    if (!plan)
        return rows;
    builtFrom_ = plan->elements;
    for (const PlanElement& e : plan->elements)
        rows.push_back(rowOf(e));
    return rows;
}

std::optional<std::vector<int>> ElementListModel::changedRows() const
{
    const auto& plan = store().project().plan;
    const std::vector<PlanElement> none;
    return changedPositions(plan ? plan->elements : none, builtFrom_);
}

ProjectListModel::Row ElementListModel::rowNow(int row) const
{
    const PlanElement& e = store().project().plan->elements[static_cast<std::size_t>(row)];
    builtFrom_[static_cast<std::size_t>(row)] = e;
    return rowOf(e);
}

ProjectListModel::Row ElementListModel::rowOf(const PlanElement& e)
{
    // A local copy that reads as a picture wins; an address is loaded only over http(s).
    // Either way the card's Image asks the picture provider, never Qt's own loader.
    QString source;
    bool remote = false;
    if (e.imageLocalPath && !e.imageLocalPath->empty() && screens::isReadableImage(text(*e.imageLocalPath))) {
        source = PictureProvider::fileAddress(text(*e.imageLocalPath));
    } else if (e.isRendered()) {
        source = PictureProvider::webAddress(text(*e.imageRemoteURL));
        remote = !source.isEmpty();
    }
    return {text(e.id),
            {text(e.id), text(e.type), text(e.continuityDescription), optionalText(e.imageLocalPath),
             optionalText(e.imageRemoteURL), e.isRendered(), source, remote,
             e.type == "place" ? QStringLiteral("map") : QStringLiteral("cube")}};
}

} // namespace vl::screens
