#include "pipeline/QtSettings.h"

#include <QVariant>

namespace vl {

namespace {

QString keyText(std::string_view key)
{
    return QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

bool isText(const QVariant& value)
{
    return value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray;
}

bool isInteger(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
        return true;
    default:
        return false;
    }
}

} // namespace

QtSettings::QtSettings(const QString& organisation, const QString& application)
    : settings_(std::make_unique<QSettings>(organisation, application))
{
}

QtSettings::QtSettings(const QString& iniFilePath)
    : settings_(std::make_unique<QSettings>(iniFilePath, QSettings::IniFormat))
{
}

QtSettings::~QtSettings()
{
    sync();
}

std::optional<std::string> QtSettings::string(std::string_view key) const
{
    std::lock_guard lock(mutex_);
    const QVariant value = settings_->value(keyText(key));
    if (!isText(value))
        return std::nullopt;
    return value.toString().toStdString();
}

std::optional<long long> QtSettings::integer(std::string_view key) const
{
    std::lock_guard lock(mutex_);
    const QVariant value = settings_->value(keyText(key));
    if (isInteger(value))
        return value.toLongLong();
    if (isText(value)) {
        bool ok = false;
        const long long number = value.toString().toLongLong(&ok);
        if (ok)
            return number;
    }
    return std::nullopt;
}

std::optional<bool> QtSettings::boolean(std::string_view key) const
{
    std::lock_guard lock(mutex_);
    const QVariant value = settings_->value(keyText(key));
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (isText(value)) {
        // QSettings writes Booleans as these two words.
        const QString text = value.toString();
        if (text == QLatin1String("true"))
            return true;
        if (text == QLatin1String("false"))
            return false;
    }
    return std::nullopt;
}

void QtSettings::setString(std::string_view key, std::string_view value)
{
    std::lock_guard lock(mutex_);
    settings_->setValue(keyText(key), QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
}

void QtSettings::setInteger(std::string_view key, long long value)
{
    std::lock_guard lock(mutex_);
    settings_->setValue(keyText(key), QVariant::fromValue<qlonglong>(value));
}

void QtSettings::setBoolean(std::string_view key, bool value)
{
    std::lock_guard lock(mutex_);
    settings_->setValue(keyText(key), value);
}

void QtSettings::remove(std::string_view key)
{
    std::lock_guard lock(mutex_);
    settings_->remove(keyText(key));
}

void QtSettings::sync()
{
    std::lock_guard lock(mutex_);
    settings_->sync();
}

} // namespace vl
