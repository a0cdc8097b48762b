// Fuzz target: resource ids and archive names of arbitrary texts, checked against the properties they
// promise.
#include "FuzzSupport.h"
#include "base/InlineString.h"
#include "resid/ResourcePath.h"

#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data),
                           strnlen(reinterpret_cast<const char*>(data), size));
    CInlineStringA archiveName;
    ResourcePath::GetArchiveName(text.c_str(), archiveName);
    const std::string name = archiveName.GetData();
    FuzzCheck(name.size() >= 32 && name.find_first_not_of("0123456789ABCDEF") >= 32, "no 32-digit digest");
    FuzzCheck(name.size() == 32 ||
                  (name[32] == '.' && text.size() >= name.size() - 32 &&
                   text.compare(text.size() - (name.size() - 32), std::string::npos, name, 32) == 0),
              "an archive name does not end in the text from a dot on");
    // Letter case matters to an id only through the member markers.
    std::string lower = text;
    for (char& c : lower)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    const ResourceId id = ResourcePath::GetId(text.c_str());
    if (lower.find("lib?") == std::string::npos)
        FuzzCheck(id == ResourcePath::GetId(lower.c_str()), "an id depends on letter case");
    FuzzCheck(id == InvalidResourceId || (id >> 62) != 3, "an id of no kind");
    return 0;
}
