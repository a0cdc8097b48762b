// Helpers shared by the fuzz targets.
#include "FuzzSupport.h"

#include "base/Memory.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace {

uint64_t g_AllocationLimit = 0;

bool StopOnLargeAllocation(uint64_t size) {
    if (size > g_AllocationLimit) {
        std::fprintf(stderr, "==vorsk-fuzz== allocation of %llu bytes from a small input\n",
                     static_cast<unsigned long long>(size));
        std::abort();
    }
    return false;
}

} // namespace

void FuzzCheck(bool condition, const char* message) {
    if (condition)
        return;
    std::fprintf(stderr, "==vorsk-fuzz== check failed: %s\n", message);
    std::abort();
}

std::string MakeFuzzDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && base[0] != '\0' ? base : "/dev/shm") + "/vorsk-fuzz-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        std::perror("vorsk-fuzz: mkdtemp");
        std::abort();
    }
    return std::string(name.data());
}

void RemoveFuzzTree(const std::string& path) {
    std::error_code error;
    std::filesystem::remove_all(path, error);
}

void SilenceStandardOutput() {
    std::fflush(stdout);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
}

void GuardAllocations(uint64_t limit) {
    g_AllocationLimit = limit;
    SetAllocationFaultHook(&StopOnLargeAllocation);
}
