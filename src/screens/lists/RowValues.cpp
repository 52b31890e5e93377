#include "screens/lists/RowValues.h"

#include <cmath>

namespace vl::screens::lists {

QString idText(const Uuid& id)
{
    return QString::fromStdString(id.text());
}

QString text(const std::string& s)
{
    return QString::fromStdString(s);
}

QVariant optionalText(const std::optional<std::string>& s)
{
    return s ? QVariant(QString::fromStdString(*s)) : QVariant(QString());
}

QStringList textList(const std::vector<std::string>& items)
{
    QStringList list;
    list.reserve(static_cast<qsizetype>(items.size()));
    for (const auto& item : items)
        list << QString::fromStdString(item);
    return list;
}

std::optional<double> finiteNumber(const QVariant& value)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return std::nullopt;
    return number;
}

std::optional<std::string> plainText(const QVariant& value)
{
    if (!value.canConvert<QString>())
        return std::nullopt;
    return value.toString().toStdString();
}

} // namespace vl::screens::lists
