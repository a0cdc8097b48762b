// Reads every file below a folder once and throws the bytes away: vorsk_read_tree, the floor of any byte
// comparison of an extracted tree (bench/way-back.sh).
//
// usage: vorsk_read_tree FOLDER [THREADS]
// The files are listed first (the listing is part of the work, as the tool lists the tree for extra files),
// then the threads (2 by default) take them in turn: open, one read per 64 KiB, close.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: vorsk_read_tree FOLDER [THREADS]\n");
        return 2;
    }
    const int threadCount = argc > 2 ? std::atoi(argv[2]) : 2;
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[1])) {
        if (entry.is_regular_file())
            paths.push_back(entry.path().string());
    }
    std::atomic<size_t> next{0};
    std::atomic<uint64_t> total{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < std::max(threadCount, 1); ++t) {
        threads.emplace_back([&] {
            std::vector<char> block(64 << 10);
            uint64_t bytes = 0;
            for (size_t i; (i = next++) < paths.size();) {
                const int file = ::open(paths[i].c_str(), O_RDONLY | O_CLOEXEC);
                if (file < 0)
                    continue;
                for (ssize_t got; (got = ::read(file, block.data(), block.size())) > 0;)
                    bytes += static_cast<uint64_t>(got);
                ::close(file);
            }
            total += bytes;
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    std::printf("%zu files, %llu bytes\n", paths.size(), static_cast<unsigned long long>(total.load()));
    return 0;
}
