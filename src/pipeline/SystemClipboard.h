#pragma once

#include "pipeline/Clipboard.h"

namespace vl {

// The desktop's clipboard. Reads nothing unless a QGuiApplication runs, so a
// process without a display simply sees an empty clipboard. Main thread only.
class SystemClipboard final : public Clipboard {
public:
    std::optional<std::string> text() const override;
};

} // namespace vl
