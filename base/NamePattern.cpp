// Wildcard patterns over names.
#include "base/NamePattern.h"

#include "base/AsciiCase.h"

bool MatchesNamePattern(CStringViewA pattern, CStringViewA name) {
    // Names come from untrusted files, so a pattern with many stars must not backtrack recursively. Only the
    // latest star matters: when a later literal fails, that star swallows one more byte and matching resumes
    // just after it. An earlier star could only ever give a match that the latest one also finds.
    constexpr uint64_t NoStar = CStringViewA::npos;
    const uint64_t patternLength = pattern.GetLength();
    uint64_t resumePattern = NoStar;
    uint64_t resumeName = 0;
    uint64_t at = 0;
    uint64_t position = 0;
    while (position < name.GetLength()) {
        if (at < patternLength && pattern[at] == '*') {
            resumePattern = ++at;
            resumeName = position;
        } else if (at < patternLength &&
                   (pattern[at] == '?' || LowerAscii(pattern[at]) == LowerAscii(name[position]))) {
            ++at;
            ++position;
        } else if (resumePattern != NoStar) {
            at = resumePattern;
            position = ++resumeName;
        } else {
            return false;
        }
    }
    while (at < patternLength && pattern[at] == '*')
        ++at;
    return at == patternLength;
}
