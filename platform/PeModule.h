#pragma once
// Read-only access to the resources of a PE32 or PE32+ file: what the
// program needs of a module loaded as a data file.

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace platform {

using Bytes = std::span<const uint8_t>;

// Resource types the program reads.
enum class ResType : uint16_t { Icon = 3, String = 6, GroupIcon = 14, Version = 16 };

constexpr uint16_t kLangNeutral = 0;
constexpr uint16_t kLangEnUs = 0x409;

// A resource type or name: a 16-bit identifier or a string name.
struct ResourceId {
    std::optional<uint16_t> id;
    QString name;

    static ResourceId fromId(uint16_t value) { return ResourceId {value, {}}; }
    // "#123" stands for identifier 123, as the resource calls read it.
    static ResourceId fromName(const QString& text);
    static ResourceId fromType(ResType type) { return fromId(static_cast<uint16_t>(type)); }

    bool isId() const { return id.has_value(); }
    bool operator==(const ResourceId&) const = default;
};

class PeModule {
public:
    // Opens the file; nullptr when it is not a PE32/PE32+ file. Its bytes
    // are read into memory in blocks as they are first needed, so a file
    // that shrinks meanwhile cannot fault the reader: every call then
    // throws platform::Error "FILE changed while it was read".
    static std::unique_ptr<PeModule> open(const QString& path);
    // The same of the file open as `fd`, whatever names `path` now; the
    // module reads through a descriptor of its own.
    static std::unique_ptr<PeModule> open(int fd, const QString& path);
    // The program is no PE file: its icons and version live in a resource
    // image beside it. Once set, opening the program's own file opens that.
    static void setProgramResourceImage(const QString& imagePath);
    // Reads from bytes that the caller keeps alive for the module's lifetime.
    static std::unique_ptr<PeModule> fromBytes(Bytes bytes);

    ~PeModule();
    PeModule(const PeModule&) = delete;
    PeModule& operator=(const PeModule&) = delete;

    bool is64() const { return m_is64; }

    // The names of one resource type in directory order (named entries,
    // then identifiers, as stored). Empty when the type is missing or its
    // directory is malformed.
    std::vector<ResourceId> resourceNames(const ResourceId& type) const;
    // The number of names of a type without reading the names themselves.
    size_t resourceCount(const ResourceId& type) const;

    // The bytes of a resource, choosing among its languages: `language`
    // when given and present, else neutral, else US English, else the first
    // stored. Names compare case-insensitively.
    std::optional<Bytes> findResource(const ResourceId& type, const ResourceId& name,
                                      std::optional<uint16_t> language = std::nullopt) const;

    // String `id` of the string tables; nullopt when its block is missing
    // or malformed. A present but empty string gives an empty text.
    std::optional<QString> loadString(uint32_t id) const;
    // True when the module has string tables and every block of them, in
    // every language, lies whole within the file; false for one cut short.
    bool stringTablesReadable() const;

    // The first version resource, nullopt when there is none.
    std::optional<Bytes> versionResource() const;

private:
    struct Section {
        uint32_t va;
        uint32_t size;  // bytes of raw data that belong to the section
        uint32_t rawOffset;
    };
    struct DirEntry {
        uint32_t name;
        uint32_t target;
    };

    PeModule() = default;
    static std::unique_ptr<PeModule> openFile(const QString& path, bool redirectProgram);
    // Takes `fd` over, closing it on every way out.
    static std::unique_ptr<PeModule> fromDescriptor(int fd, const QString& path, bool redirectProgram);
    bool parse();
    // Bytes at a relative virtual address, bounded by its section and the file.
    std::optional<Bytes> atRva(uint64_t rva, uint64_t length) const;
    // Entries of the resource directory at `offset` from the resource root.
    std::optional<std::vector<DirEntry>> directory(uint32_t offset) const;
    std::optional<uint16_t> directoryCount(uint32_t offset) const;
    std::optional<ResourceId> entryName(uint32_t name) const;
    bool entryMatches(uint32_t name, const ResourceId& id) const;
    std::optional<uint32_t> subdirectory(uint32_t offset, const ResourceId& id) const;
    std::optional<Bytes> dataEntry(uint32_t offset) const;
    // The name directory at `offset`, indexed on first use: look-ups by name
    // or identifier then cost no walk of the directory.
    struct NameIndex;
    const NameIndex& nameIndex(uint32_t offset) const;
    // The target of the first entry of that directory named `id`.
    std::optional<uint32_t> indexedTarget(uint32_t offset, const ResourceId& id) const;

    class FileBlocks;
    // Bytes [offset, offset + length) of m_bytes, read from the file first
    // when the module has one.
    void readFromFile(uint64_t offset, uint64_t length) const;

    Bytes m_bytes;
    std::unique_ptr<FileBlocks> m_file;
    bool m_is64 = false;
    uint32_t m_rsrcRva = 0;
    uint32_t m_rsrcSize = 0;
    std::vector<Section> m_sections;
    mutable std::mutex m_indexLock;
    mutable std::unordered_map<uint32_t, std::unique_ptr<NameIndex>> m_nameIndexes;
};

// Queries of a version resource (VS_VERSIONINFO): a path of block keys
// such as "\VarFileInfo\Translation", keys compared case-insensitively.
namespace version {
// The value bytes of the block at `path`; "\" is the fixed file info.
std::optional<Bytes> queryValue(Bytes resource, const QString& path);
// The text value of the block at `path`, up to its terminating zero.
std::optional<QString> queryString(Bytes resource, const QString& path);
}  // namespace version

}  // namespace platform
