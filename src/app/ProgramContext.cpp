#include "app/ProgramContext.h"

#include "cloud/FalKeyStore.h"
#include "cloud/KeyringSecretStore.h"
#include "model/MediaLibrary.h"
#include "pipeline/SystemClipboard.h"

namespace vl::app {

StoreContext programStoreContext(Settings& settings)
{
    static SystemClipboard clipboard;
    StoreContext context;
    context.settings = &settings;
    context.projectsRoot = defaultProjectsRoot();
    context.loadKey = [] { return FalKeyStore(systemSecretStore()).loadKey(); };
    context.clipboard = &clipboard;
    return context;
}

} // namespace vl::app
