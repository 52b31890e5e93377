#pragma once

#include "pipeline/ProjectStore.h"

namespace vl::app {

// What the program's store gets from the desktop it runs on: the projects folder in the
// user's data folder, the fal key from the system keyring (read at each cloud step) and
// the desktop's clipboard. Throws MediaLibraryError when there is no data folder.
StoreContext programStoreContext(Settings& settings);

} // namespace vl::app
