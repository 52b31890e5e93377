#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace vl::json {

using Json = nlohmann::json; // keys kept sorted, which is also the on-disk order
// Keys in the order they were set, for the few forms whose key order is fixed.
using OrderedJson = nlohmann::ordered_json;

// Reading failed: bad syntax, a wrong type, a number out of range, a missing key.
struct DecodeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Writing failed: a non-finite number, which JSON cannot hold.
struct EncodeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline constexpr int kMaxDepth = 256; // also the depth our searches of untrusted JSON stop at

// Parses UTF-8 JSON text. Refuses nesting deeper than maxDepth before parsing,
// invalid UTF-8, numbers that overflow a double, and trailing garbage. A syntax
// error reads as a plain fragment saying what was expected and where the reading
// stopped ("expected a JSON value at line 1, column 1"), never the library's text.
Json parse(std::string_view text, int maxDepth = kMaxDepth);

// Serialises; indent < 0 is compact. Invalid UTF-8 in strings is replaced, never thrown.
std::string dump(const Json& value, int indent = -1);

// A number for writing: throws EncodeError when value is NaN or infinite.
Json finite(double value, std::string_view what = "number");

// Typed readers of one value; `what` names it in the error message.
std::string asString(const Json& value, std::string_view what);
std::int64_t asInt64(const Json& value, std::string_view what);
double asDouble(const Json& value, std::string_view what);
bool asBool(const Json& value, std::string_view what);

// Strict reader of one JSON object's fields. A key holding null counts as missing.
class ObjectReader {
public:
    ObjectReader(const Json& object, std::string_view what);

    // The value under key, or nullptr when missing or null.
    const Json* find(std::string_view key) const;
    bool has(std::string_view key) const { return find(key) != nullptr; }

    const Json& required(std::string_view key) const;

    std::string string(std::string_view key) const;
    std::int64_t integer(std::string_view key) const;
    double number(std::string_view key) const;
    bool boolean(std::string_view key) const;

    std::optional<std::string> optionalString(std::string_view key) const;
    std::optional<std::int64_t> optionalInteger(std::string_view key) const;
    std::optional<double> optionalNumber(std::string_view key) const;
    std::optional<bool> optionalBoolean(std::string_view key) const;

    std::string stringOr(std::string_view key, std::string fallback) const;
    std::int64_t integerOr(std::string_view key, std::int64_t fallback) const;
    double numberOr(std::string_view key, double fallback) const;
    bool booleanOr(std::string_view key, bool fallback) const;

    const Json& object() const { return object_; }
    std::string path(std::string_view key) const;

private:
    const Json& object_;
    std::string what_;
};

} // namespace vl::json
