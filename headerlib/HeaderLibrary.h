// CHeaderLibrary: a loaded "*.pc_headerlib" file, its relocated payload and the model built from it.
#pragma once

#include "base/Array.h"
#include "base/ByteBuffer.h"
#include "base/HashMap.h"
#include "base/InlineString.h"
#include "base/StringView.h"
#include "resid/ResourceId.h"

#include <cstdint>

/// One resource of the library, from a record of the payload's resource list.
struct CLibraryResource {
    /// The resource's path, viewed in the payload up to its first NUL (which ends it); valid until the next
    /// Load.
    CStringViewA Name;
    /// The record's second text, viewed in the payload like Name.
    CStringViewA SecondName;
    /// The resource's own id: it names the extracted file.
    ResourceId Id = 0;
    /// Where the resource lies: the container's low 32 id bits and the entry position (IsMember form).
    ResourceId MemberId = 0;
};

/// Where one entry's stored bytes lie in its container's data. Worked out from 32-bit fields, a span can
/// reach past 4 GiB; it is then beyond any archive entry, never wrapped round to a small offset.
struct CEntrySpan {
    uint64_t Offset = 0;
    uint64_t Length = 0;
};

/// The entries of one container and the name under which the archives hold it.
struct CContainerTable {
    /// One span per entry of the container, at the same position.
    CArray<CEntrySpan> Spans;
    /// Archive name of the container's path; an owned text.
    CInlineStringA ArchiveName;
};

/// A resource that the library names by path only.
struct CExternalResource {
    /// The path; an owned copy (empty for a null name).
    CInlineStringA Name;
    /// Archive name of Name; owned.
    CInlineStringA ArchiveName;
    /// Id of Name; InvalidResourceId for an empty or malformed path.
    ResourceId Id = InvalidResourceId;
};

/// A header library: the "BILH" file's "BIN1" payload, copied and relocated into Payload, and the model
/// built from it. The object is made once and loaded again for every file; each Load replaces everything,
/// reusing the storage of every member, which only grows (Clear in the destructor gives it back).
///
/// Only Load writes the model; the extraction driver reads it where it lies through const accessors. After a
/// successful Load the accessors below give:
/// - GetResources: one element per resource record, in list order; the texts are views into the payload.
/// - GetContainerTables: one table per container record, at the same position.
/// - FindContainer: the position of the container whose path has an id; a repeated id keeps the later one.
/// - GetExternalResources: one element per external name, in order.
/// Everything read through them, and every viewed text, stays valid until the next Load or the destruction
/// of the object. After a failed Load the model holds partial contents and must not be read.
///
/// The payload is untrusted: Load checks every reference it follows against the payload's bounds, every
/// list and text read through one, and every container's language list and entry headers, so that a
/// library that loads can be read in full through the accessors below without further checks.
class CHeaderLibrary {
public:
    CHeaderLibrary() = default;
    CHeaderLibrary(const CHeaderLibrary&) = delete;
    CHeaderLibrary& operator=(const CHeaderLibrary&) = delete;
    /// Releases the model, the payload last.
    ~CHeaderLibrary();

    /// Builds the library from a whole "*.pc_headerlib" file. The file is only read during the call and
    /// nothing keeps pointing into it. Returns false when the file is malformed, any reference, list or text
    /// of the payload falls outside it, or a byte read as data (a text, count, length, flag, id or entry
    /// header) lies in a slot that relocation filled with an address; the root is then null if the fault
    /// came at or before relocation, and the model holds partial contents that must not be read. Storage for
    /// what the file can really hold that cannot be had stops the process (StopOutOfMemory).
    [[nodiscard]] bool Load(const CByteBuffer& file);

    // Readers of the container records. Each requires a successful Load; positions must be below the
    // counts they index (the container count, a container's language count or its Spans count).

    uint64_t GetContainerCount() const;
    /// The container's resource path; "" for a null path. Lies in the payload.
    const char* GetContainerPath(uint64_t container) const;
    /// True when every entry's 24-byte header is stored in the container's data in front of its bytes.
    bool HasInlineHeaders(uint64_t container) const;
    uint64_t GetLanguageCount(uint64_t container) const;
    /// A language name of the container; null for a null name, which admits no locale. Lies in the payload.
    const char* GetLanguageName(uint64_t container, uint64_t language) const;
    /// The header bytes of an entry, headerLength of them (at least 24), in the payload.
    const uint8_t* GetEntryHeader(uint64_t container, uint64_t entry, uint32_t& headerLength) const;

    /// Where the payload's first byte lies in the loaded file: a byte at pointer p of the payload lies at
    /// file offset GetPayloadFileOffset() + (p - GetRoot()), as it stood before relocation.
    uint64_t GetPayloadFileOffset() const { return m_PayloadFileOffset; }
    /// The payload's first byte (its root record); null until a Load relocates a payload.
    const uint8_t* GetRoot() const { return m_Root; }
    const CArray<CLibraryResource>& GetResources() const { return m_Resources; }
    const CArray<CContainerTable>& GetContainerTables() const { return m_ContainerTables; }
    const CArray<CExternalResource>& GetExternalResources() const { return m_ExternalResources; }
    /// The position of the container whose path has the id, or null.
    const uint64_t* FindContainer(ResourceId id) const { return m_ContainerIndex.Find(id); }

private:
    // The four walks over the relocated payload, in the order Load runs them.
    [[nodiscard]] bool LoadResources();
    [[nodiscard]] bool LoadContainerIndex();
    [[nodiscard]] bool LoadContainerTables();
    [[nodiscard]] bool LoadExternalResources();
    [[nodiscard]] bool CheckLanguages(uint64_t record) const;
    [[nodiscard]] bool LoadSpans(uint64_t record, CContainerTable& table);

    // True when no byte of the length bytes at payload offset offset holds an address put there by
    // relocation, so that they may be read as data. The bytes must lie in the payload; length is not 0.
    [[nodiscard]] bool IsData(uint64_t offset, uint64_t length) const;
    // Payload offset of the target of the reference slot at payload offset slot, or NullReference. False
    // when the slot overlaps a relocated slot without being one, or holds neither an address inside the
    // payload nor zero. The slot's 8 bytes must lie in the payload.
    [[nodiscard]] bool ReadReference(uint64_t slot, uint64_t& target) const;
    // The first of count elements of elementSize bytes referred to by the slot; a count of 0 is not
    // followed (first becomes NullReference). False when the list is null or does not fit in the payload.
    [[nodiscard]] bool FindList(uint64_t slot, uint64_t count, uint64_t elementSize, uint64_t& first) const;
    // The NUL-terminated text referred to by the slot, viewed in the payload without its NUL; empty for a
    // null slot. False when the reference is outside the payload or no NUL comes before the payload's end.
    [[nodiscard]] bool FindText(uint64_t slot, CStringViewA& text) const;
    // Payload offset of a container's record; only after a successful Load.
    uint64_t GetContainerRecord(uint64_t container) const;
    // The target of a slot that Load has checked; null for a null slot.
    const uint8_t* GetTarget(uint64_t slot) const;

    CByteBuffer m_Payload{CByteBuffer::DefaultGranule};
    const uint8_t* m_Root = nullptr;
    uint64_t m_PayloadFileOffset = 0;
    CArray<CLibraryResource> m_Resources;
    CArray<CContainerTable> m_ContainerTables;
    CHashMap<ResourceId, uint64_t> m_ContainerIndex;
    CArray<CExternalResource> m_ExternalResources;
    // One bit per payload byte, set where relocation wrote an address into the 8 bytes from there on.
    CByteBuffer m_AddressSlots{CByteBuffer::DefaultGranule};
};
