#pragma once

#include "model/Json.h"

#include <cstddef>
#include <string>

namespace vl::falAnswers {

// The largest answer of the vendor's that is read as JSON; anything bigger is not one of its answers.
inline constexpr std::size_t kMaxJsonAnswerBytes = std::size_t(32) << 20;

// Reads an answer that must be JSON; the reader's error passes on, said in words.
json::Json readJson(const std::string& body);

// Reads an answer that may be anything; what is not a JSON object counts as empty.
json::Json readObjectOrEmpty(const std::string& body);

// The text under key, or nullptr when it is missing or not text.
const std::string* textField(const json::Json& object, const char* key);

} // namespace vl::falAnswers
