#pragma once

#include "pipeline/Clipboard.h"

#include <QMetaObject>

namespace vl {

// The desktop's clipboard. Reads nothing unless a QGuiApplication runs, so a
// process without a display simply sees an empty clipboard. Main thread only (the
// readers it hands out excepted); changes are counted from the moment it first sees
// the application.
class SystemClipboard final : public Clipboard {
public:
    SystemClipboard();
    ~SystemClipboard() override;
    SystemClipboard(const SystemClipboard&) = delete;
    SystemClipboard& operator=(const SystemClipboard&) = delete;

    std::function<ClipboardText()> textReader(std::size_t maxBytes) const override;
    long long changeCount() const override;
    void clear() override;

private:
    void watch() const;

    mutable QMetaObject::Connection watching_;
    mutable long long changes_ = 0;
};

} // namespace vl
