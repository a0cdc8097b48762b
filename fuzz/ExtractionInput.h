// CExtractionInput: the layout of an input of the extraction fuzz target, read by the target and written by
// the seed generator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// One file of a content directory described by a fuzz input.
struct CExtractionFile {
    std::string Name;
    std::vector<uint8_t> Content;
};

/// A content directory and a locale, packed into one byte string:
///   1 byte   mode: the locale, Locales[byte % LocaleCount]
///   then per file, up to MaxFiles of them:
///   1 byte   name length N (1 to MaxNameLength; 0 ends the list)
///   N bytes  name; any byte but a letter, a digit, '.', '-' and '_' reads as '_'
///   4 bytes  content length C, little-endian
///   C bytes  content, cut short where the input ends
/// Names "." and ".." are left out.
class CExtractionInput {
public:
    static constexpr size_t MaxFiles = 8;
    static constexpr size_t MaxNameLength = 40;
    static constexpr size_t LocaleCount = 4;
    static constexpr const char* Locales[LocaleCount] = {"en", "de", "all", "fr"};

    /// Reads bytes into Locale and Files. False for an empty input.
    bool Parse(const uint8_t* bytes, size_t size) {
        if (size == 0)
            return false;
        Locale = Locales[bytes[0] % LocaleCount];
        size_t at = 1;
        while (at < size && Files.size() < MaxFiles) {
            const size_t nameLength = bytes[at++];
            if (nameLength == 0 || nameLength > MaxNameLength || size - at < nameLength)
                break;
            CExtractionFile file;
            for (size_t i = 0; i < nameLength; ++i)
                file.Name.push_back(ReadNameByte(bytes[at + i]));
            at += nameLength;
            uint32_t length = 0;
            for (size_t i = 0; i < 4 && at < size; ++i)
                length |= uint32_t(bytes[at++]) << (8 * i);
            const size_t available = size - at < length ? size - at : length;
            file.Content.assign(bytes + at, bytes + at + available);
            at += available;
            if (file.Name != "." && file.Name != "..")
                Files.push_back(std::move(file));
        }
        return true;
    }

    /// True when no later file has the same name as file (the later one replaces it on disk).
    bool IsLastWith(const CExtractionFile& file) const {
        bool seen = false;
        for (const CExtractionFile& other : Files) {
            if (&other == &file)
                seen = true;
            else if (seen && other.Name == file.Name)
                return false;
        }
        return true;
    }

    /// Appends the packed form of a file to bytes.
    static void AppendFile(std::vector<uint8_t>& bytes, const std::string& name,
                           const std::vector<uint8_t>& content) {
        bytes.push_back(static_cast<uint8_t>(name.size()));
        bytes.insert(bytes.end(), name.begin(), name.end());
        const uint32_t length = static_cast<uint32_t>(content.size());
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(length >> (8 * i)));
        bytes.insert(bytes.end(), content.begin(), content.end());
    }

    const char* Locale = Locales[0];
    std::vector<CExtractionFile> Files;

private:
    static char ReadNameByte(uint8_t byte) {
        const bool kept = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                          (byte >= '0' && byte <= '9') || byte == '.' || byte == '-' || byte == '_';
        return kept ? static_cast<char>(byte) : '_';
    }
};
