// Helpers shared by the fuzz targets.
#include "FuzzSupport.h"

#include "base/Memory.h"

#include <cstdio>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

void FuzzCheck(bool condition, const char* message) {
    if (condition)
        return;
    std::fprintf(stderr, "==vorsk-fuzz== check failed: %s\n", message);
    std::abort();
}

std::string MakeFuzzDirectory() {
    static std::string directory;
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && base[0] != '\0' ? base : "/dev/shm") + "/vorsk-fuzz-XXXXXX";
    FuzzCheck(mkdtemp(pattern.data()) != nullptr, "cannot make a scratch directory");
    directory = pattern;
    std::atexit([] { fs::remove_all(directory); });
    return directory;
}

void GuardAllocations() {
    SetAllocationFaultHook([](uint64_t size) {
        FuzzCheck(size <= (uint64_t(256) << 20), "a large allocation from a small input");
        return false;
    });
}

std::string StartToolFuzzing() {
    std::string directory = MakeFuzzDirectory();
    GuardAllocations();
    dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
    return directory;
}
