// Allocation entry points and the out-of-memory stop.
#include "base/Memory.h"

#include "base/Console.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#ifdef _WIN32
#include <malloc.h>
#endif

namespace {

AllocationFaultHook g_FaultHook = nullptr;
std::atomic<OutOfMemoryHook> g_OutOfMemoryHook{nullptr};
std::atomic<bool> g_Stopping{false};

bool IsRefused(uint64_t size) {
    if (size > MaxAllocationSize)
        return true;
    return g_FaultHook != nullptr && g_FaultHook(size);
}

} // namespace

void SetAllocationFaultHook(AllocationFaultHook hook) { g_FaultHook = hook; }

void SetOutOfMemoryHook(OutOfMemoryHook hook) { g_OutOfMemoryHook.store(hook); }

void* AllocateMemory(uint64_t size) {
    if (IsRefused(size))
        return nullptr;
    return std::malloc(size == 0 ? 1 : static_cast<size_t>(size));
}

void* AllocateZeroedMemory(uint64_t size) {
    if (IsRefused(size))
        return nullptr;
    return std::calloc(size == 0 ? 1 : static_cast<size_t>(size), 1);
}

void FreeMemory(void* block) { std::free(block); }

void* AllocateAligned(uint64_t size, uint64_t alignment) {
    if (IsRefused(size))
        return nullptr;
    // posix_memalign refuses alignments below the size of a pointer; _aligned_malloc accepts any power of two
    // but the same floor keeps both platforms alike.
    if (alignment < sizeof(void*))
        alignment = sizeof(void*);
    if (size == 0)
        size = 1;
#ifdef _WIN32
    return _aligned_malloc(static_cast<size_t>(size), static_cast<size_t>(alignment));
#else
    void* block = nullptr;
    if (posix_memalign(&block, static_cast<size_t>(alignment), static_cast<size_t>(size)) != 0)
        return nullptr;
    return block;
#endif
}

void FreeAligned(void* block) {
#ifdef _WIN32
    _aligned_free(block);
#else
    std::free(block);
#endif
}

void* AllocateOrStop(uint64_t size) {
    void* block = AllocateMemory(size);
    if (block == nullptr)
        StopOutOfMemory();
    return block;
}

void StopOutOfMemory() {
    // The hook may wait for other threads to get the output up to this point printed; each thread that runs
    // out tells it where. A hook that runs out itself is not asked again.
    static thread_local bool inHook = false;
    const OutOfMemoryHook hook = g_OutOfMemoryHook.load();
    if (hook != nullptr && !inHook) {
        inHook = true;
        hook();
    }
    // Only the first thread to get here prints and ends the process; any other waits for the end.
    if (g_Stopping.exchange(true)) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    FlushConsole();
    PrintError("VorskExtract: out of memory.\n");
    // With a hook there may be threads still working, under which static destructors must not run; the
    // output is flushed already. Without one the ordinary exit lets tools that watch it see the stop.
    if (hook != nullptr)
        std::_Exit(2);
    std::exit(2);
}
