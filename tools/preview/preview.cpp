// The preview tool: loads sonolook.dll exactly as the host does and shows what the host would
// show: the plugin's identity.
#include <cstdio>

#include "tools/host/HostPlugin.h"

namespace {

int showIdentity(HostPlugin& plugin) {
    char extensions[64] = {};
    char name[128] = {};
    char description[256] = {};
    char copyright[256] = {};
    char web[256] = {};
    PluginInfoRecord info = {};
    info.extensions = extensions;
    info.extensionsCapacity = sizeof extensions;
    info.displayName = name;
    info.displayNameCapacity = sizeof name;
    info.description = description;
    info.descriptionCapacity = sizeof description;
    info.copyright = copyright;
    info.copyrightCapacity = sizeof copyright;
    info.webAddress = web;
    info.webAddressCapacity = sizeof web;
    if (!plugin.identify(&info)) {
        std::fprintf(stderr, "preview: the plugin refused to identify itself\n");
        return 1;
    }
    const PluginIdentifier& id = info.identifier;
    std::printf("Plugin:        %s\n", name);
    std::printf("Description:   %s\n", description);
    std::printf("Copyright:     %s\n", copyright);
    std::printf("Web:           %s\n", web);
    std::printf("Extensions:    %s\n", extensions);
    std::printf("Version:       %u.%u\n", info.versionHigh, info.versionLow);
    std::printf("Smallest file: %u bytes\n", static_cast<unsigned>(info.smallestFileSize));
    std::printf("Identifier:    {%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}\n", id.data1, id.data2, id.data3,
                id.data4[0], id.data4[1], id.data4[2], id.data4[3], id.data4[4], id.data4[5], id.data4[6], id.data4[7]);
    return 0;
}

} // namespace

int main() {
    HostPlugin plugin;
    if (!plugin.loaded()) {
        std::fprintf(stderr, "preview: sonolook.dll: %s\n", plugin.errorText());
        return 1;
    }
    plugin.init();
    const int result = showIdentity(plugin);
    plugin.uninit();
    return result;
}
