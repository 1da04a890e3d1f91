// Loading the plugin as the host does.
#include "host/HostPlugin.h"

namespace {

template <typename Function>
bool resolve(HMODULE module, const char* name, Function& target) {
    target = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return target != nullptr;
}

} // namespace

HostPlugin::HostPlugin(const char* path) {
    module = LoadLibraryA(path);
    if (module == nullptr) {
        error = "the library could not be loaded";
        return;
    }
    const bool all = resolve(module, "DVP_Init", init) && resolve(module, "DVP_Uninit", uninit) &&
                     resolve(module, "DVP_IdentifyA", identify) && resolve(module, "DVP_IdentifyFileA", identifyFile) &&
                     resolve(module, "DVP_LoadBitmapA", loadBitmap) && resolve(module, "DVP_USBSafe", usbSafe) &&
                     resolve(module, "DVP_IdentifyW", identifyW) && resolve(module, "DVP_IdentifyFileW", identifyFileW) &&
                     resolve(module, "DVP_LoadBitmapW", loadBitmapW);
    if (!all) {
        error = "an entry point is missing from the library";
    }
}

HostPlugin::~HostPlugin() {
    if (module != nullptr) {
        FreeLibrary(module);
    }
}

HostPlugin& plugin() {
    static HostPlugin instance;
    return instance;
}
