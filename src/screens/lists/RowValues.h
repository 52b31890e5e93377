#pragma once

#include "model/Uuid.h"

#include <QString>
#include <QStringList>
#include <QVariant>

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
