// The module's compiled-in heap configuration.
#include "core/memory/HeapConfig.h"

#include "core/memory/HeapKinds.h"

namespace {

const HeapConfigEntry moduleHeaps[] = {
    {static_cast<std::uint32_t>(HeapKind::Platform), 0, 0},
};

const HeapConfig moduleConfig = {1, moduleHeaps};

const CategoryRoute moduleRoutes[heapCategoryCount] = {
    {0, 0, 0},  {1, 0, 0},  {2, 0, 0},  {3, 0, 0},  {4, 0, 0},  {5, 0, 0},  {6, 0, 0},  {7, 0, 0},
    {8, 0, 0},  {9, 0, 0},  {10, 0, 0}, {11, 0, 0}, {12, 0, 0}, {13, 0, 0}, {14, 0, 0}, {15, 0, 0},
};

} // namespace

const HeapConfig& defaultHeapConfig() { return moduleConfig; }

const CategoryRoute* defaultCategoryRoutes() { return moduleRoutes; }
