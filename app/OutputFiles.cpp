// Resource files and index files.
#include "app/OutputFiles.h"

#include "base/ByteBuffer.h"
#include "base/ByteOrder.h"
#include "base/Console.h"
#include "base/File.h"

#include <cstring>
#include <iterator>

namespace {

// The id fields of the name lines and resource file names are written by hand rather than by vsnprintf:
// a run writes one of each per resource, and the formatter (which measures, then writes, after translating
// the I64 directives) took 70% of the instructions of a 100,000-resource run.
constexpr uint64_t DecimalFieldWidth = 20;
constexpr uint64_t HexFieldWidth = 16;

// "%20I64u": the decimal digits right-aligned in 20 columns, blanks in front; the largest value has 20.
void PutDecimalField(char* out, uint64_t value) {
    char* digit = out + DecimalFieldWidth;
    do {
        *--digit = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (digit != out)
        *--digit = ' ';
}

// "%.16I64X": exactly 16 upper-case hexadecimal digits, zeros in front.
void PutHexField(char* out, uint64_t value) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    for (uint64_t i = HexFieldWidth; i-- > 0; value >>= 4)
        out[i] = Digits[value & 15];
}

// A "ResMap.bin" record: the 8-byte id and the 4-byte length field in front of the name and its NUL.
constexpr uint64_t ResMapRecordHead = 12;

// An index file's name, its progress text and its bytes (borrowed).
struct CIndexFile {
    const char* Name;
    const char* Progress;
    const void* Bytes;
    uint64_t Count;
};

} // namespace

void FormatResourcePath(TStringBufferA<260>& pathBuffer, CStringViewA outputDirectory,
                        CStringViewA libraryName, ResourceId id) {
    // The path is "%s\\%s\\%.16I64X.bin" put together piece by piece.
    char fileName[HexFieldWidth + 4];
    PutHexField(fileName, id);
    std::memcpy(fileName + HexFieldWidth, ".bin", 4);
    pathBuffer.Assign(outputDirectory);
    pathBuffer.Append("\\");
    pathBuffer.Append(libraryName);
    pathBuffer.Append("\\");
    pathBuffer.Append(CStringViewA(fileName, sizeof(fileName)));
}

bool WriteResourceFile(TStringBufferA<260>& pathBuffer, CStringViewA outputDirectory,
                       CStringViewA libraryName, ResourceId id, const void* bytes, uint64_t count) {
    FormatResourcePath(pathBuffer, outputDirectory, libraryName, id);
    if (WriteWholeFile(pathBuffer.GetView(), bytes, count))
        return true;
    Print("Failed to write \"%s\".\r\n", pathBuffer.GetData());
    return false;
}

void AppendContainerLine(CStringBufferA& text, CStringViewA archiveName, CStringViewA path,
                         CStringViewA libraryName) {
    // "%s %s -> %s\r\n" of the three texts.
    text.Append(archiveName);
    text.Append(" ");
    text.Append(path);
    text.Append(" -> ");
    text.Append(libraryName);
    text.Append("\r\n");
}

void AppendExternalLine(CStringBufferA& text, ResourceId id, CStringViewA name, CStringViewA archiveName) {
    // "%20I64u %.16I64X %s %s\r\n" of the id, the id and the two texts.
    text.AppendFormat("%20I64u %.16I64X ", id, id);
    text.Append(name);
    text.Append(" ");
    text.Append(archiveName);
    text.Append("\r\n");
}

void BuildNameMapText(const CNameMap& names, uint64_t estimate, CStringBufferA& text) {
    text.Reserve(estimate + 1);
    // Each line is "%20I64u %.16I64X %s\r\n" of the id, the id and the name. The names hold no NUL (every
    // name is cut at its first NUL when it is read), so their lengths are what %s would print.
    char fields[DecimalFieldWidth + 1 + HexFieldWidth + 1];
    fields[DecimalFieldWidth] = ' ';
    fields[sizeof(fields) - 1] = ' ';
    for (const CNameMap::Entry& entry : names) {
        PutDecimalField(fields, entry.Key);
        PutHexField(fields + DecimalFieldWidth + 1, entry.Key);
        text.Append(CStringViewA(fields, sizeof(fields)));
        text.Append(entry.Value);
        text.Append("\r\n");
    }
}

void BuildResMap(const CNameMap& names, CByteBuffer& image) {
    // The image is sized exactly, from the count and the names' lengths, and filled in place.
    uint64_t size = 4;
    for (const CNameMap::Entry& entry : names)
        size += ResMapRecordHead + entry.Value.GetLength() + 1;
    image.Resize(size);
    uint8_t* out = image.GetData();
    StoreU32LE(out, static_cast<uint32_t>(names.GetCount()));
    out += 4;
    for (const CNameMap::Entry& entry : names) {
        const uint64_t length = entry.Value.GetLength();
        StoreU64LE(out, entry.Key);
        StoreU32LE(out + 8, static_cast<uint32_t>(length) + 1);
        // The name's terminator is written with it.
        std::memcpy(out + ResMapRecordHead, entry.Value.GetData(), length + 1);
        out += ResMapRecordHead + length + 1;
    }
}

bool WriteIndexFiles(TStringBufferA<260>& pathBuffer, CStringViewA outputDirectory, const CNameMap& names,
                     uint64_t nameTextEstimate, const CStringBufferA& containerText,
                     const CStringBufferA& externalText) {
    if (HasOutputFailed())
        return false;
    // Both images are built before any index file is replaced: running out of memory stops the run before
    // this run's index files could stand beside an earlier run's.
    CStringBufferA nameText;
    BuildNameMapText(names, nameTextEstimate, nameText);
    CByteBuffer image(1);
    BuildResMap(names, image);

    const CIndexFile files[] = {
        {"NameMap.txt", "Writing name map... ", nameText.GetData(), nameText.GetLength()},
        {"ContainerNameMap.txt", "Writing container map... ", containerText.GetData(),
         containerText.GetLength()},
        {"ExternalResources.txt", "Writing external resources list... ", externalText.GetData(),
         externalText.GetLength()},
        {"ResMap.bin", "Writing res map... ", image.GetData(), image.GetSize()},
    };
    static_assert(std::size(files) <= Os::MaxInterruptRemovals, "one interruption slot per index file");
    // All four are written before the first rename, so that an interrupted run leaves the earlier set, this
    // run's set, or a mix only when it is stopped between two renames.
    CStagedFile staged[std::size(files)];
    for (uint32_t i = 0; i < std::size(files); ++i) {
        pathBuffer.Assign(outputDirectory);
        pathBuffer.Append("\\");
        pathBuffer.Append(files[i].Name);
        staged[i].Stage(pathBuffer.GetData(), i, files[i].Bytes, files[i].Count);
    }
    bool allWritten = true;
    for (uint32_t i = 0; i < std::size(files); ++i) {
        Print("%s", files[i].Progress);
        // Once standard output fails the run ends without its index files (the temporaries go with the
        // staged files); once the first is renamed, the others follow, so that the set stays whole.
        if (i == 0 && HasOutputFailed())
            return false;
        const bool written = staged[i].Commit();
        Print(written ? "OK\r\n" : "failed.\r\n");
        allWritten &= written;
    }
    return allWritten;
}
