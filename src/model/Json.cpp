#include "model/Json.h"

#include <algorithm>
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

// "line 3, column 7" of the character at `offset`; columns count characters, not bytes.
std::string placeOf(std::string_view text, std::size_t offset)
{
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++line;
            column = 1;
        } else if ((c & 0xC0) != 0x80) {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// What the reader wanted where it stopped, in words; from the library's token names.
std::string expectedThing(std::string_view message)
{
    const auto at = message.rfind("; expected ");
    const std::string_view wanted = at == std::string_view::npos ? std::string_view{} : message.substr(at + 11);
    if (wanted.empty() && message.find("while parsing value") != std::string_view::npos)
        return "a JSON value";
    if (wanted.find("literal") != std::string_view::npos && wanted.find('[') != std::string_view::npos)
        return "a JSON value";
    if (wanted == "end of input")
        return "the end of the text";
    if (wanted == "string literal")
        return "a name in double quotes";
    if (wanted == "':'")
        return "\":\"";
    if (wanted == "'}'")
        return "\",\" or \"}\"";
    if (wanted == "']'")
        return "\",\" or \"]\"";
    return "valid JSON";
}

// Where the first byte that is not part of valid UTF-8 sits.
std::size_t firstInvalidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return i;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return i;
        i += length;
    }
    return text.size();
}

bool partOfWord(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '+'
        || c == '.';
}

// One plain sentence for a syntax error: what was expected and where the reading
// stopped. The library's own text names its exception and token types.
std::string plainSyntaxError(std::string_view text, const nlohmann::json::parse_error& error)
{
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos)
        return "expected JSON, but the text is empty";
    const std::string_view message = error.what();
    if (message.find("UTF-8") != std::string_view::npos)
        return "the text is not valid UTF-8 at " + placeOf(text, firstInvalidUtf8(text));
    // `byte` counts from 1 and points at the last character read, which may be the
    // end of a word or string; the place we name is where that token starts.
    std::size_t stop = error.byte == 0 ? 0 : std::min<std::size_t>(error.byte - 1, text.size());
    if (stop >= text.size() || message.find("unexpected end of input") != std::string_view::npos)
        return "the text ends at " + placeOf(text, text.size()) + " before the JSON is complete";
    if (message.find("unexpected string literal") != std::string_view::npos) {
        const auto open = stop == 0 ? std::string_view::npos : text.rfind('"', stop - 1);
        if (open != std::string_view::npos)
            stop = open;
    } else {
        while (stop > 0 && partOfWord(text[stop]) && partOfWord(text[stop - 1]))
            --stop;
    }
    return "expected " + expectedThing(message) + " at " + placeOf(text, stop);
}

} // namespace

Json parse(std::string_view text, int maxDepth)
{
    if (deeperThan(text, maxDepth))
        throw DecodeError("the JSON is nested more than " + std::to_string(maxDepth) + " levels deep");
    try {
        return Json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::parse_error& e) {
        throw DecodeError(plainSyntaxError(text, e));
    } catch (const nlohmann::json::out_of_range&) {
        throw DecodeError("the JSON holds a number too large to read");
    } catch (const nlohmann::json::exception&) {
        throw DecodeError("the text could not be read as JSON");
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
