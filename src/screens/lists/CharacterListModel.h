#pragma once

#include "screens/lists/ProjectListModel.h"

namespace vl::screens {

// The project's characters, in stored order; `isPrimary` marks the primary one. The
// card's derived values (status chip, thumbnail, processing, the active chip) follow
// the project and the store's processing set.
class CharacterListModel final : public ProjectListModel {
    Q_OBJECT
public:
    explicit CharacterListModel(ProjectStore* store, QObject* parent = nullptr);

protected:
    std::vector<Row> rowsNow() const override;
    bool write(Project& project, const QString& id, int field, const QVariant& value) const override;
};

} // namespace vl::screens
