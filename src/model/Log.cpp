#include "model/Log.h"

#include <cstdio>
#include <mutex>

namespace vl {

void logLine(std::string_view tag, std::string_view message)
{
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::fprintf(stderr, "[%.*s] %.*s\n", static_cast<int>(tag.size()), tag.data(),
                 static_cast<int>(message.size()), message.data());
}

} // namespace vl
