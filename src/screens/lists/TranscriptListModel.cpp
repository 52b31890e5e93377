#include "screens/lists/TranscriptListModel.h"

#include "screens/lists/RowValues.h"

#include <algorithm>

namespace vl::screens {

using namespace lists;

TranscriptListModel::TranscriptListModel(ProjectStore* store, QObject* parent)
    : ProjectListModel(store, {"segmentID", "text", "start", "end"}, parent)
{
    sync();
}

std::vector<ProjectListModel::Row> TranscriptListModel::rowsNow() const
{
    std::vector<Row> rows;
    for (const TranscriptSegment& s : store().project().transcript)
        rows.push_back({idText(s.id), {idText(s.id), text(s.text), s.start, s.end}});
    return rows;
}

bool TranscriptListModel::write(Project& project, const QString& id, int field, const QVariant& value) const
{
    auto* found = findByID(project.transcript, id);
    if (!found)
        return false;
    if (field == fieldIndex("text")) {
        const auto newText = plainText(value);
        if (!newText)
            return false;
        found->text = *newText;
        return true;
    }
    if (field == fieldIndex("start") || field == fieldIndex("end")) {
        const auto seconds = finiteNumber(value);
        if (!seconds)
            return false;
        (field == fieldIndex("start") ? found->start : found->end) = *seconds;
        return true;
    }
    return false;
}

} // namespace vl::screens
