#include "FileTestSupport.h"

#include <cstdio>

namespace filetest {

namespace {

std::atomic<int> folderNumber{0};

void removeTree(const std::string& path) {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((path + "/*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string entry = found.cFileName;
            if (entry == "." || entry == "..") {
                continue;
            }
            const std::string full = path + "/" + entry;
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                removeTree(full);
            } else {
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

} // namespace

TempFolder::TempFolder() {
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    root = temp;
    for (char& c : root) {
        if (c == '\\') {
            c = '/';
        }
    }
    while (!root.empty() && root.back() == '/') {
        root.pop_back();
    }
    root += "/sonolook_file_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(folderNumber++);
    removeTree(root);
    CreateDirectoryA(root.c_str(), nullptr);
}

TempFolder::~TempFolder() { removeTree(root); }

bool TempFolder::write(const std::string& name, const std::string& bytes) const {
    HANDLE h = CreateFileA(file(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

bool TempFolder::makeFolder(const std::string& name) const {
    return CreateDirectoryA(file(name).c_str(), nullptr) != FALSE;
}

std::string TempFolder::read(const std::string& name) const {
    HANDLE h = CreateFileA(file(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return "<missing>";
    }
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        content.append(buffer, got);
    }
    CloseHandle(h);
    return content;
}

void* FaultHeap::allocate(std::uint32_t size, std::uint32_t alignment) {
    const std::int64_t number = requests++;
    const std::int64_t limit = failFrom.load();
    if ((limit >= 0 && number >= limit) || failSize.load() == std::int64_t{size}) {
        ++failures;
        return nullptr;
    }
    void* block = PlatformHeap::allocate(size, alignment);
    if (block == nullptr) {
        return nullptr;
    }
    for (auto& slot : blocks) {
        void* expected = nullptr;
        if (slot.compare_exchange_strong(expected, block)) {
            ++faultLive;
            break;
        }
    }
    return block;
}

void FaultHeap::release(void* pointer) {
    for (auto& slot : blocks) {
        void* expected = pointer;
        if (slot.compare_exchange_strong(expected, nullptr)) {
            --faultLive;
            break;
        }
    }
    PlatformHeap::release(pointer);
}

namespace {

Heap* constructFaultHeap(void* at, std::uintptr_t, const HeapConfigEntry&, const char* name) {
    return new (at) FaultHeap(name);
}

Heap* constructPlainHeap(void* at, std::uintptr_t, const HeapConfigEntry&, const char* name) {
    return new (at) PlatformHeap(name);
}

} // namespace

FaultRegistry::FaultRegistry() : registry(nullptr), previous(nullptr) {
    // Heap 0 is the fault heap and claims every address, so every release goes through it; kind
    // 1's slot builds the plain heap that serves the other categories.
    static const HeapConfigEntry entries[] = {{0, 0, 0}, {1, 0, 0}};
    static const HeapConfig config = {2, entries};
    CategoryRoute routes[heapCategoryCount];
    for (std::uint32_t c = 0; c < heapCategoryCount; ++c) {
        const bool faulty = c == 0 || c == 5 || c == 10 || c == 15;
        routes[c] = {c, faulty ? 0u : 1u, faulty ? 0u : 1u};
    }
    static const HeapKindTable kinds = {{
        {sizeof(FaultHeap), constructFaultHeap},
        {sizeof(PlatformHeap), constructPlainHeap},
        {0, nullptr},
        {0, nullptr},
        {0, nullptr},
    }};
    registry = HeapRegistry::build(config, routes, kinds);
    previous = swapHeapRegistry(registry);
}

FaultRegistry::~FaultRegistry() {
    swapHeapRegistry(previous);
    // Blocks handed out by the test registry stay valid: both of its heaps are malloc-based, and
    // the module's platform heap releases them the same way. Its block is kept for that reason.
}

FaultHeap& FaultRegistry::heap() { return *static_cast<FaultHeap*>(registry->heap(0)); }

void FaultRegistry::failFrom(std::int64_t n) { heap().failFrom.store(n); }

} // namespace filetest
