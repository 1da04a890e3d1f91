// The library's entry routine. It keeps the module handle and does nothing else: everything the
// plugin needs is built on first use, and nothing may be done here under the loader lock.
#include <windows.h>

#include "plugin/Module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
    setModuleHandle(instance);
    return TRUE;
}
