// Heap and aligned allocation for the whole tool, with the one out-of-memory stop and a fault hook for tests.
#pragma once

#include <cstddef>
#include <cstdint>

/// Largest single request the allocators pass on to the system. Anything larger is refused as if the system
/// had no memory left, so that a size computed from hostile input never reaches malloc.
constexpr uint64_t MaxAllocationSize = uint64_t(1) << 40;

/// Allocates size bytes from the ordinary heap. Returns null when the memory cannot be had; a size of 0 asks
/// for 1 byte so that a non-null result is always a distinct block.
[[nodiscard]] void* AllocateMemory(uint64_t size);

/// Allocates size bytes, all zero. Large blocks come straight from the system as untouched zero pages, so a
/// big reservation costs neither time nor resident memory until it is written. Null when refused.
[[nodiscard]] void* AllocateZeroedMemory(uint64_t size);

/// Releases a block from AllocateMemory or AllocateZeroedMemory; null is ignored.
void FreeMemory(void* block);

/// Allocates size bytes aligned to at least alignment (a power of two); the platform's minimum alignment
/// for aligned blocks is applied on top. Null when refused. Release with FreeAligned only.
[[nodiscard]] void* AllocateAligned(uint64_t size, uint64_t alignment);

/// Releases a block from AllocateAligned; null is ignored.
void FreeAligned(void* block);

/// Like AllocateMemory, but a refusal stops the process: one line on standard error, exit status 2. Used by
/// the strings and the growing containers, for which a refused allocation is never a failure to report.
[[nodiscard]] void* AllocateOrStop(uint64_t size);

/// Stops the process because memory ran out: runs the stop hook (if set), flushes standard output, prints
/// one line on standard error and exits with status 2; when a hook is set, at once, without running static
/// destructors, which could run under threads that are still working. Callable from any thread; only the
/// first thread past the hook prints, any other waits for the end.
[[noreturn]] void StopOutOfMemory();

/// Runs first in every out-of-memory stop, on the thread that ran out, before the line is printed; it lets
/// the output in progress print what comes before the stop. It must not allocate. Null removes it.
using OutOfMemoryHook = void (*)();
void SetOutOfMemoryHook(OutOfMemoryHook hook);

/// Test hook: when set, every allocation first asks it, and a true answer refuses the allocation. Tests
/// use it to exercise the failure paths without relying on the system allocator to run dry.
using AllocationFaultHook = bool (*)(uint64_t size);
void SetAllocationFaultHook(AllocationFaultHook hook);
