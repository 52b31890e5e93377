#pragma once

#include "screens/lists/ProjectListModel.h"

namespace vl::screens {

// The project's timed lyric lines.
class TranscriptListModel final : public ProjectListModel {
    Q_OBJECT
public:
    explicit TranscriptListModel(ProjectStore* store, QObject* parent = nullptr);

protected:
    std::vector<Row> rowsNow() const override;
    bool write(Project& project, const QString& id, int field, const QVariant& value) const override;
};

} // namespace vl::screens
