// Resource files and index files.
#include "app/OutputFiles.h"

#include "base/ByteBuffer.h"
#include "base/Console.h"
#include "base/File.h"

namespace {

// "ResMap.bin" is put together in one buffer reserved once at this size.
constexpr uint64_t ResMapReservation = 0x10000000;

void PutU32(uint8_t* out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutU64(uint8_t* out, uint64_t value) {
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

bool WriteIndexFile(TStringBufferA<260>& pathBuffer, const char* outputDirectory, const char* fileName,
                    const char* progress, const void* bytes, uint64_t count) {
    pathBuffer.Format("%s\\%s", outputDirectory, fileName);
    Print("%s", progress);
    const bool written = WriteWholeFile(pathBuffer.GetData(), bytes, count);
    Print(written ? "OK\r\n" : "failed.\r\n");
    return written;
}

} // namespace

bool WriteResourceFile(TStringBufferA<260>& pathBuffer, const char* outputDirectory, const char* libraryName,
                       ResourceId id, const void* bytes, uint64_t count) {
    pathBuffer.Format("%s\\%s\\%.16I64X.bin", outputDirectory, libraryName, id);
    if (WriteWholeFile(pathBuffer.GetData(), bytes, count))
        return true;
    Print("Failed to write \"%s\".\r\n", pathBuffer.GetData());
    return false;
}

void AppendContainerLine(CStringBufferA& text, const char* archiveName, const char* path, const char* libraryName) {
    text.AppendFormat("%s %s -> %s\r\n", archiveName, path, libraryName);
}

void AppendExternalLine(CStringBufferA& text, ResourceId id, const char* name, const char* archiveName) {
    text.AppendFormat("%20I64u %.16I64X %s %s\r\n", id, id, name, archiveName);
}

void BuildNameMapText(const CNameMap& names, uint64_t estimate, CStringBufferA& text) {
    text.Reserve(estimate + 1);
    for (const CNameMap::Entry& entry : names)
        text.AppendFormat("%20I64u %.16I64X %s\r\n", entry.Key, entry.Key, entry.Value.GetData());
}

bool BuildResMap(const CNameMap& names, CByteBuffer& image) {
    if (!image.Resize(0) || !image.Reserve(ResMapReservation))
        return false;
    uint8_t field[12];
    PutU32(field, static_cast<uint32_t>(names.GetCount()));
    if (!image.Append(field, 4))
        return false;
    for (const CNameMap::Entry& entry : names) {
        const uint64_t length = entry.Value.GetLength();
        PutU64(field, entry.Key);
        PutU32(field + 8, static_cast<uint32_t>(length) + 1);
        // The name's terminator is written with it.
        if (!image.Append(field, 12) || !image.Append(entry.Value.GetData(), length + 1))
            return false;
    }
    return true;
}

bool WriteIndexFiles(TStringBufferA<260>& pathBuffer, const char* outputDirectory, const CNameMap& names,
                     uint64_t nameTextEstimate, const CStringBufferA& containerText,
                     const CStringBufferA& externalText) {
    bool allWritten = true;
    {
        CStringBufferA nameText;
        BuildNameMapText(names, nameTextEstimate, nameText);
        allWritten &= WriteIndexFile(pathBuffer, outputDirectory, "NameMap.txt", "Writing name map... ",
                                     nameText.GetData(), nameText.GetLength());
    }
    allWritten &= WriteIndexFile(pathBuffer, outputDirectory, "ContainerNameMap.txt", "Writing container map... ",
                                 containerText.GetData(), containerText.GetLength());
    allWritten &= WriteIndexFile(pathBuffer, outputDirectory, "ExternalResources.txt",
                                 "Writing external resources list... ", externalText.GetData(),
                                 externalText.GetLength());

    pathBuffer.Format("%s\\%s", outputDirectory, "ResMap.bin");
    Print("Writing res map... ");
    CByteBuffer image(CByteBuffer::DefaultGranule);
    const bool written =
        BuildResMap(names, image) && WriteWholeFile(pathBuffer.GetData(), image.GetData(), image.GetSize());
    Print(written ? "OK\r\n" : "failed.\r\n");
    return allWritten && written;
}
