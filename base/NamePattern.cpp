// Wildcard patterns over names.
#include "base/NamePattern.h"

#include "base/ByteOrder.h"

bool MatchesNamePattern(const char* pattern, const char* name, uint64_t length) {
    // Names come from untrusted files, so a pattern with many stars must not backtrack recursively. Only the
    // latest star matters: when a later literal fails, that star swallows one more byte and matching resumes
    // just after it. An earlier star could only ever give a match that the latest one also finds.
    const char* resumePattern = nullptr;
    uint64_t resumeName = 0;
    uint64_t position = 0;
    while (position < length) {
        if (*pattern == '*') {
            resumePattern = ++pattern;
            resumeName = position;
        } else if (*pattern != '\0' &&
                   (*pattern == '?' || LowerAscii(*pattern) == LowerAscii(name[position]))) {
            ++pattern;
            ++position;
        } else if (resumePattern != nullptr) {
            pattern = resumePattern;
            position = ++resumeName;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}
