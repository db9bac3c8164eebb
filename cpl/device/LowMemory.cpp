#include "LowMemory.h"

namespace {

constexpr uint64_t kFourGigabytes = uint64_t{1} << 32;

bool fits(const void* p, size_t size) {
    return reinterpret_cast<uintptr_t>(p) + uint64_t{size} <= kFourGigabytes;
}

} // namespace

UniqueVirtualMemory AllocateLowMemory(size_t size) {
    UniqueVirtualMemory block(
        VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!block || fits(block.get(), size))
        return block;
    block.reset();
    // Walk the free regions below 4 GB and take the first that is large enough.
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    const uintptr_t granularity = info.dwAllocationGranularity;
    uintptr_t at = granularity;
    while (at + size <= kFourGigabytes) {
        MEMORY_BASIC_INFORMATION region = {};
        if (VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof(region)) == 0)
            break;
        const uintptr_t end = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
        if (region.State == MEM_FREE) {
            const uintptr_t start = (at + granularity - 1) / granularity * granularity;
            if (start + size <= end && start + size <= kFourGigabytes) {
                block.reset(VirtualAlloc(reinterpret_cast<void*>(start), size,
                                         MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
                if (block && fits(block.get(), size))
                    return block;
                block.reset();
            }
        }
        if (end <= at)
            break;
        at = end;
    }
    return block;
}

bool ToAddress32(const void* p, uint32_t* address) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(p);
    if (p == nullptr || value >= kFourGigabytes)
        return false;
    *address = static_cast<uint32_t>(value);
    return true;
}
