#include "screens/lists/ProjectListModel.h"

#include <QSet>

#include <algorithm>

namespace vl::screens {

namespace {

bool hasDuplicates(const std::vector<ProjectListModel::Row>& rows)
{
    QSet<QString> seen;
    for (const auto& row : rows) {
        if (seen.contains(row.id))
            return true;
        seen.insert(row.id);
    }
    return false;
}

} // namespace

ProjectListModel::ProjectListModel(ProjectStore* store, QList<QByteArray> fields, QObject* parent)
    : QAbstractListModel(parent), store_(store), fields_(std::move(fields))
{
    connect(store, &ProjectStore::projectChanged, this, &ProjectListModel::sync);
}

int ProjectListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant ProjectListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= count())
        return {};
    const int field = role - (Qt::UserRole + 1);
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    if (field < 0 || field >= row.values.size())
        return {};
    return row.values[field];
}

bool ProjectListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!store_ || !index.isValid() || index.row() < 0 || index.row() >= count())
        return false;
    const int field = role - (Qt::UserRole + 1);
    if (field < 0 || field >= fields_.size())
        return false;
    const QString id = rows_[static_cast<std::size_t>(index.row())].id;

    // Edit a copy so a refused value leaves the project (and its autosave) untouched,
    // and writing back the value already there changes nothing.
    const Project& current = store_->project();
    Project edited = current;
    if (!write(edited, id, field, value))
        return false;
    if (!(edited == current))
        store_->setProject(std::move(edited)); // its projectChanged reaches sync()
    return true;
}

Qt::ItemFlags ProjectListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

QHash<int, QByteArray> ProjectListModel::roleNames() const
{
    QHash<int, QByteArray> names;
    for (int i = 0; i < fields_.size(); ++i)
        names.insert(Qt::UserRole + 1 + i, fields_[i]);
    return names;
}

int ProjectListModel::roleOf(const QByteArray& name) const
{
    const int i = fieldIndex(name);
    return i < 0 ? -1 : Qt::UserRole + 1 + i;
}

int ProjectListModel::rowOf(const QString& id) const
{
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].id == id)
            return static_cast<int>(i);
    return -1;
}

QVariant ProjectListModel::get(int row, const QString& field) const
{
    return data(index(row), roleOf(field.toUtf8()));
}

bool ProjectListModel::set(int row, const QString& field, const QVariant& value)
{
    return setData(index(row), value, roleOf(field.toUtf8()));
}

bool ProjectListModel::write(Project&, const QString&, int, const QVariant&) const
{
    return false;
}

void ProjectListModel::updateFields(std::vector<Row>& next)
{
    for (std::size_t j = 0; j < next.size(); ++j)
        updateFields(static_cast<int>(j), std::move(next[j]));
}

void ProjectListModel::updateFields(int row, Row next)
{
    if (row < 0 || row >= count())
        return;
    Row& shown = rows_[static_cast<std::size_t>(row)];
    QList<int> roles;
    for (int f = 0; f < next.values.size(); ++f) {
        if (f >= shown.values.size() || shown.values[f] != next.values[f])
            roles << Qt::UserRole + 1 + f;
    }
    if (roles.isEmpty())
        return;
    shown = std::move(next);
    const QModelIndex at = index(row);
    emit dataChanged(at, at, roles);
}

void ProjectListModel::replaceAll(std::vector<Row> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void ProjectListModel::sync()
{
    if (!store_)
        return;
    // The usual edit keeps every record where it was: only the rows the subclass names
    // can differ, and only their fields.
    if (!rowsHaveDuplicates_) {
        if (const auto changed = changedRows(); changed && changed->size() <= rows_.size()) {
            for (int row : *changed)
                updateFields(row, rowNow(row));
            return;
        }
    }

    std::vector<Row> next = rowsNow();
    const int countBefore = count();

    const bool sameRecords = next.size() == rows_.size()
        && std::equal(next.begin(), next.end(), rows_.begin(),
                      [](const Row& a, const Row& b) { return a.id == b.id; });
    if (sameRecords && !rowsHaveDuplicates_) {
        updateFields(next);
    } else if (rowsHaveDuplicates_ || hasDuplicates(next)) {
        // Ids are how rows are matched; without unique ones only a reset is honest.
        replaceAll(std::move(next));
    } else {
        // 1. Rows whose record is gone, last first so the indices stay valid.
        QSet<QString> nextIds;
        for (const auto& row : next)
            nextIds.insert(row.id);
        for (int i = count() - 1; i >= 0; --i) {
            if (!nextIds.contains(rows_[static_cast<std::size_t>(i)].id)) {
                beginRemoveRows({}, i, i);
                rows_.erase(rows_.begin() + i);
                endRemoveRows();
            }
        }

        // 2. The rows left must keep their order; a reordering is shown as a reset.
        QSet<QString> kept;
        for (const auto& row : rows_)
            kept.insert(row.id);
        std::size_t k = 0;
        bool sameOrder = true;
        for (const auto& row : next) {
            if (!kept.contains(row.id))
                continue;
            if (k >= rows_.size() || rows_[k].id != row.id) {
                sameOrder = false;
                break;
            }
            ++k;
        }

        if (!sameOrder) {
            replaceAll(std::move(next));
        } else {
            // 3. New records, at the place they have in the new list.
            for (std::size_t j = 0; j < next.size(); ++j) {
                if (j < rows_.size() && rows_[j].id == next[j].id)
                    continue;
                const int at = static_cast<int>(j);
                beginInsertRows({}, at, at);
                rows_.insert(rows_.begin() + at, next[j]);
                endInsertRows();
            }
            // 4. Changed fields of the rows that stayed.
            updateFields(next);
        }
    }
    if (!sameRecords)
        rowsHaveDuplicates_ = hasDuplicates(rows_);

    if (count() != countBefore)
        emit countChanged();
}

} // namespace vl::screens
