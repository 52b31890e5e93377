#include "cloud/FalAnswers.h"

#include <exception>

namespace vl::falAnswers {

using json::Json;

Json readJson(const std::string& body)
{
    try {
        return json::parse(body);
    } catch (const json::DecodeError& e) {
        throw json::DecodeError("The generation service answered with something that is not JSON (" + std::string(e.what())
                                + ").");
    }
}

Json readObjectOrEmpty(const std::string& body)
{
    try {
        Json value = json::parse(body);
        if (value.is_object())
            return value;
    } catch (const std::exception&) {
    }
    return Json::object();
}

const std::string* textField(const Json& object, const char* key)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string())
        return nullptr;
    return it->get_ptr<const std::string*>();
}

} // namespace vl::falAnswers
