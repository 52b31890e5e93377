#pragma once

#include "model/Uuid.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// How the lists turn a record's fields into row values, and row values back into fields.
namespace vl::screens::lists {

QString idText(const Uuid& id);
QString text(const std::string& s);
QVariant optionalText(const std::optional<std::string>& s);
QStringList textList(const std::vector<std::string>& items);
// Field values typed by the user arrive as strings, numbers from spin boxes as
// doubles. A number that is not finite would make the project unsaveable, so it is refused.
std::optional<double> finiteNumber(const QVariant& value);
std::optional<std::string> plainText(const QVariant& value);

// The positions whose record differs from the one its row was last made from, or for
// which `alsoChanged(position)` holds; nothing when records were added, removed or
// moved, which only making every row again shows honestly.
template <typename Record, typename AlsoChanged>
std::optional<std::vector<int>> changedPositions(const std::vector<Record>& now, const std::vector<Record>& builtFrom,
                                                 AlsoChanged&& alsoChanged)
{
    if (now.size() != builtFrom.size())
        return std::nullopt;
    std::vector<int> changed;
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (now[i].id != builtFrom[i].id)
            return std::nullopt;
        if (!(now[i] == builtFrom[i]) || alsoChanged(i))
            changed.push_back(static_cast<int>(i));
    }
    return changed;
}

template <typename Record>
std::optional<std::vector<int>> changedPositions(const std::vector<Record>& now, const std::vector<Record>& builtFrom)
{
    return changedPositions(now, builtFrom, [](std::size_t) { return false; });
}

// The record whose identifier reads `id`, or nothing.
template <typename Item>
Item* findByID(std::vector<Item>& items, const QString& id)
{
    for (Item& item : items)
        if (idText(item.id) == id)
            return &item;
    return nullptr;
}

} // namespace vl::screens::lists
