// Fuzz target: resource path operations on arbitrary texts, as owned strings and as borrowed views, with
// the properties they promise checked against each other.
#include "FuzzSupport.h"
#include "base/InlineString.h"
#include "resid/ResourcePath.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

std::string ChangeCase(const std::string& text, bool upper) {
    std::string changed(text);
    for (char& c : changed) {
        if (upper && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (!upper && c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return changed;
}

bool IsUpperHexDigits(const CInlineStringA& text, uint64_t count) {
    if (text.GetLength() < count)
        return false;
    for (uint64_t i = 0; i < count; ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

// The archive name of any text: 32 digits, then nothing or a tail of the text from a dot on.
void CheckArchiveName(const char* text) {
    CInlineStringA archiveName;
    CResourcePath::GetArchiveName(text, archiveName);
    FuzzCheck(IsUpperHexDigits(archiveName, 32), "an archive name does not start with 32 hexadecimal digits");
    const uint64_t tailLength = archiveName.GetLength() - 32;
    const uint64_t textLength = std::strlen(text);
    FuzzCheck(tailLength == 0 ||
                  (archiveName[32] == '.' && tailLength <= textLength &&
                   std::strcmp(text + textLength - tailLength, archiveName.GetData() + 32) == 0),
              "an archive name does not end in the text from a dot on");
}

// Every operation on one path, with the checks that do not need a second spelling of it.
ResourceId CheckPath(CStringViewA path) {
    const uint64_t length = path.GetLength();
    const bool valid = CResourcePath::IsValid(path);
    const ResourceId id = CResourcePath::GetId(path);
    FuzzCheck(valid == (id != InvalidResourceId), "GetId and IsValid disagree");
    // Letter case is ignored by the id, so the member test is made on the lower-cased path.
    const std::string lower = ChangeCase(std::string(path.GetData(), length), false);
    const bool library = (lower.size() >= 11 && lower.compare(lower.size() - 11, 11, "resourcelib") == 0) ||
                         (lower.size() >= 9 && lower.compare(lower.size() - 9, 9, "securelib") == 0);
    if (valid && library && lower.find("resourcelib?") == std::string::npos &&
        lower.find("securelib?") == std::string::npos)
        FuzzCheck((id >> 32) == 0x40000000, "a library path without a member part has no library id");
    if (valid && IsMember(id))
        FuzzCheck(path.FindChar('?') != CStringViewA::npos, "a member id without a '?'");

    CheckArchiveName(path.GetData());
    return id;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The text up to the first zero byte, in a block of exactly its length and terminator, so that a read
    // past the terminator of a borrowed view is caught.
    const size_t length = strnlen(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<char[]> exact(new char[length + 1]);
    std::memcpy(exact.get(), data, length);
    exact[length] = '\0';

    const CInlineStringA owned(exact.get());
    const CStringViewA view(exact.get(), length);
    const ResourceId id = CheckPath(owned);
    FuzzCheck(CheckPath(view) == id, "a view has another id than an owned copy");

    // Letter case is ignored by the id, except in the "resourcelib?" and "securelib?" that make a member
    // path, whose case counts.
    const std::string lower = ChangeCase(exact.get(), false);
    const bool caseCounts =
        lower.find("resourcelib?") != std::string::npos || lower.find("securelib?") != std::string::npos;
    for (bool upper : {false, true}) {
        if (caseCounts)
            break;
        const std::string changed = ChangeCase(exact.get(), upper);
        FuzzCheck(CResourcePath::GetId(CStringViewA(changed.c_str(), changed.size())) == id,
                  "the id depends on letter case");
    }

    // A view of the tail from the middle on, ending at the same terminator.
    const CStringViewA tail(exact.get() + length / 2, length - length / 2);
    const CInlineStringA tailCopy(exact.get() + length / 2);
    FuzzCheck(CheckPath(tail) == CResourcePath::GetId(tailCopy), "a tail view has another id than its copy");

    return 0;
}
