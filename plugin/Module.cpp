// The module instance handle, kept for the life of the process.
#include "plugin/Module.h"

#include <atomic>

namespace {

std::atomic<void*> handle{nullptr};

} // namespace

void setModuleHandle(void* instance) { handle.store(instance); }
