#include "model/Json.h"

#include <cmath>
#include <limits>

namespace vl::json {

namespace {

// Counts bracket depth outside strings; cheap next to the parse itself and keeps
// hostile documents from driving any recursive code later on.
bool deeperThan(std::string_view text, int maxDepth)
{
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') inString = true;
        else if (c == '{' || c == '[') {
            if (++depth > maxDepth) return true;
        } else if (c == '}' || c == ']') --depth;
    }
    return false;
}

} // namespace

Json parse(std::string_view text, int maxDepth)
{
    if (deeperThan(text, maxDepth))
        throw DecodeError("JSON is nested too deeply");
    try {
        return Json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::exception& e) {
        throw DecodeError(e.what());
    }
}

std::string dump(const Json& value, int indent)
{
    return value.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

Json finite(double value, std::string_view what)
{
    if (!std::isfinite(value))
        throw EncodeError(std::string(what) + " is not a finite number");
    return Json(value);
}

std::string asString(const Json& value, std::string_view what)
{
    if (!value.is_string())
        throw DecodeError(std::string(what) + ": expected a string");
    return value.get_ref<const std::string&>();
}

std::int64_t asInt64(const Json& value, std::string_view what)
{
    if (value.is_number_integer() && !value.is_number_unsigned())
        return value.get<std::int64_t>();
    if (value.is_number_unsigned()) {
        const auto u = value.get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            throw DecodeError(std::string(what) + ": integer out of range");
        return static_cast<std::int64_t>(u);
    }
    if (value.is_number_float()) {
        const double d = value.get<double>();
        // A whole number written with a fraction part of zero is still an integer;
        // anything else would be silently truncated, so refuse it.
        if (std::isfinite(d) && std::trunc(d) == d && d >= -9.2233720368547758e18 && d < 9.2233720368547758e18)
            return static_cast<std::int64_t>(d);
        throw DecodeError(std::string(what) + ": expected an integer");
    }
    throw DecodeError(std::string(what) + ": expected an integer");
}

double asDouble(const Json& value, std::string_view what)
{
    if (!value.is_number())
        throw DecodeError(std::string(what) + ": expected a number");
    const double d = value.get<double>();
    if (!std::isfinite(d))
        throw DecodeError(std::string(what) + ": number out of range");
    return d;
}

bool asBool(const Json& value, std::string_view what)
{
    if (!value.is_boolean())
        throw DecodeError(std::string(what) + ": expected true or false");
    return value.get<bool>();
}

ObjectReader::ObjectReader(const Json& object, std::string_view what)
    : object_(object), what_(what)
{
    if (!object.is_object())
        throw DecodeError(what_ + ": expected an object");
}

const Json* ObjectReader::find(std::string_view key) const
{
    const auto it = object_.find(key);
    if (it == object_.end() || it->is_null())
        return nullptr;
    return &*it;
}

std::string ObjectReader::path(std::string_view key) const
{
    return what_ + "." + std::string(key);
}

const Json& ObjectReader::required(std::string_view key) const
{
    if (const Json* v = find(key))
        return *v;
    throw DecodeError(path(key) + ": missing");
}

std::string ObjectReader::string(std::string_view key) const { return asString(required(key), path(key)); }
std::int64_t ObjectReader::integer(std::string_view key) const { return asInt64(required(key), path(key)); }
double ObjectReader::number(std::string_view key) const { return asDouble(required(key), path(key)); }
bool ObjectReader::boolean(std::string_view key) const { return asBool(required(key), path(key)); }

std::optional<std::string> ObjectReader::optionalString(std::string_view key) const
{
    if (const Json* v = find(key)) return asString(*v, path(key));
    return std::nullopt;
}
std::optional<std::int64_t> ObjectReader::optionalInteger(std::string_view key) const
{
    if (const Json* v = find(key)) return asInt64(*v, path(key));
    return std::nullopt;
}
std::optional<double> ObjectReader::optionalNumber(std::string_view key) const
{
    if (const Json* v = find(key)) return asDouble(*v, path(key));
    return std::nullopt;
}
std::optional<bool> ObjectReader::optionalBoolean(std::string_view key) const
{
    if (const Json* v = find(key)) return asBool(*v, path(key));
    return std::nullopt;
}

std::string ObjectReader::stringOr(std::string_view key, std::string fallback) const
{
    return optionalString(key).value_or(std::move(fallback));
}
std::int64_t ObjectReader::integerOr(std::string_view key, std::int64_t fallback) const
{
    return optionalInteger(key).value_or(fallback);
}
double ObjectReader::numberOr(std::string_view key, double fallback) const
{
    return optionalNumber(key).value_or(fallback);
}
bool ObjectReader::booleanOr(std::string_view key, bool fallback) const
{
    return optionalBoolean(key).value_or(fallback);
}

} // namespace vl::json
