#pragma once

#include "pipeline/Clipboard.h"

#include <chrono>
#include <cstddef>

namespace vl {

// Reads the text of the X11 clipboard (the CLIPBOARD selection, as UTF8_STRING, else
// STRING) through a connection of its own, so it may run on any thread. The owner's
// answer is measured before its bytes are fetched: a text over `maxBytes` is tooLarge
// with nothing of it read, and one sent in pieces (INCR) is refused by its announced
// size before the first piece is asked for, or as soon as the pieces pass the cap.
// Nothing (Kind::none) without an X server, an owner or a text, or when the owner
// stays silent for `patience` at any step. `display` names the X server; nullptr
// takes $DISPLAY.
ClipboardText readX11ClipboardText(std::size_t maxBytes, const char* display = nullptr,
                                   std::chrono::milliseconds patience = std::chrono::seconds(5));

} // namespace vl
