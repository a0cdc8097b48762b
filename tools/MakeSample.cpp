// Writes the sample content directory: vorsk_make_sample <directory>.
#include "support/SampleContent.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vorsk_make_sample <directory>\n");
        return 2;
    }
    std::error_code error;
    std::filesystem::create_directories(argv[1], error);
    if (!WriteSampleContent(argv[1])) {
        std::fprintf(stderr, "vorsk_make_sample: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
