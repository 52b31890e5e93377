#pragma once

#include "pipeline/ProjectStore.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <optional>
#include <vector>

namespace vl::screens {

// A list of the open project as QML sees it: one row per record, one role per
// field. On every change of the project the rows are rebuilt and compared with
// the ones shown, by record id: rows that went away are removed, new ones are
// inserted, and a row whose fields changed gets dataChanged for exactly those
// roles. So typing in one field of one row touches nothing else, and the text
// field under the cursor is not rebuilt.
class ProjectListModel : public QAbstractListModel {
    Q_OBJECT
    QML_ANONYMOUS
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    // The values of one row: `values[i]` belongs to role Qt::UserRole + 1 + i.
    struct Row {
        QString id;
        QList<QVariant> values;
    };

    int count() const { return static_cast<int>(rows_.size()); }
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The role of a field name; -1 when there is none.
    int roleOf(const QByteArray& name) const;
    // The row holding the record with this id; -1 when there is none.
    Q_INVOKABLE int rowOf(const QString& id) const;
    // The value of one field of a row, for QML code outside a delegate.
    Q_INVOKABLE QVariant get(int row, const QString& field) const;
    // Writes one field of a row (what a delegate's `model.field = value` does).
    Q_INVOKABLE bool set(int row, const QString& field, const QVariant& value);

    // Compares the store's current state with the rows shown and signals the difference.
    void sync();

signals:
    void countChanged();

protected:
    ProjectListModel(ProjectStore* store, QList<QByteArray> fields, QObject* parent);

    ProjectStore& store() const { return *store_; }
    int fieldIndex(const QByteArray& name) const { return static_cast<int>(fields_.indexOf(name)); }

    // The rows for the store's current state.
    virtual std::vector<Row> rowsNow() const = 0;
    // When every record shown is still there, in the same place, the rows that may have
    // changed since the last rows were made; nothing when that is not known (then every
    // row is made again and matched by id). rowNow makes one of those rows.
    virtual std::optional<std::vector<int>> changedRows() const { return std::nullopt; }
    virtual Row rowNow(int row) const { return rowsNow().at(static_cast<std::size_t>(row)); }
    // Writes `value` into field `field` of the record with `id`; false when the field
    // cannot be written or the value does not fit it (nothing changes then).
    virtual bool write(Project& project, const QString& id, int field, const QVariant& value) const;

private:
    void replaceAll(std::vector<Row> rows);
    // Signals the fields of `next` that differ from the rows shown, row for row.
    void updateFields(std::vector<Row>& next);
    void updateFields(int row, Row next);

    QPointer<ProjectStore> store_;
    QList<QByteArray> fields_;
    std::vector<Row> rows_;
    bool rowsHaveDuplicates_ = false;
};

} // namespace vl::screens
