#pragma once
// The icons of a file, as the shell gives them: how many a file holds, the
// icons of its groups at one size, and the icon of its file type.

#include "platform/FileSystem.h"
#include "platform/Icon.h"
#include "platform/PeModule.h"

#include <QByteArray>
#include <QString>

#include <compare>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace platform {

constexpr int kLargeIconSize = 32;
constexpr int kSmallIconSize = 16;
// The deepest colour the screen shows; deeper images are chosen last.
constexpr int kScreenBitsPerPixel = 32;

// What a file is to the icon loader. A caller that shows the file-type
// icon for files without icons of their own tests
// `isIconSource() && count == 0`: the files for which a probe for icon 0
// finds nothing; other files are extracted (and may yield none).
enum class IconSourceKind {
    None,        // unreadable, or neither an executable, a library nor an icon file
    Executable,  // a PE module (or an MZ file that is no valid one): icons are its groups
    IconFile,    // a valid .ico file: one icon
};

struct IconSource {
    IconSourceKind kind = IconSourceKind::None;
    int count = 0;  // the number of icons; 0 for None

    bool isIconSource() const { return kind != IconSourceKind::None; }
};

// The largest file read whole for its icons and its copy: no more than an
// export may write of one file.
constexpr int64_t kMaxIconFileBytes = int64_t {64} << 20;

// A file whose icons are read, held open: its kind and count, its icons,
// its module and its bytes all come from the one file opened, so that a
// file renamed over its name meanwhile changes nothing of what it gives.
class IconSourceFile {
public:
    // Opens `path` without waiting, so that a FIFO put in the file's place
    // cannot stall the caller, and takes only a regular file. nullptr
    // otherwise, the system's reason (or "it is not a regular file") in
    // `reason`.
    static std::unique_ptr<IconSourceFile> open(const QString& path, QString* reason = nullptr);
    ~IconSourceFile();
    IconSourceFile(const IconSourceFile&) = delete;
    IconSourceFile& operator=(const IconSourceFile&) = delete;

    const QString& path() const { return m_path; }
    // The file as it was opened.
    const FileIdentity& identity() const { return m_identity; }
    // True when the open file is no longer as it was opened: rewritten in
    // place, grown or cut.
    bool changed() const;
    // What the file is to the icon loader, as probeIconSource says.
    const IconSource& source() const { return m_source; }
    // As extractIcons says. An .ico file's icon comes from bytes().
    std::vector<Icon> icons(int size, int first = 0, int count = -1) const;
    // The module, opened once with the file; null for no PE file.
    const std::shared_ptr<const PeModule>& module() const { return m_module; }
    // The file's bytes, read whole once and kept; nullptr, with the reason,
    // for a file larger than kMaxIconFileBytes or one that cannot be read.
    // Throws platform::Error when the file was cut since it was opened.
    const QByteArray* bytes(QString* reason = nullptr) const;

private:
    IconSourceFile(int fd, const QString& path);

    int m_fd;
    QString m_path;
    FileIdentity m_identity;
    IconSource m_source;
    std::shared_ptr<const PeModule> m_module;
    mutable std::optional<QByteArray> m_bytes;
};

// Reads no more of the file than its headers and directories.
IconSource probeIconSource(const QString& path);
// The number of icons of the file: its icon groups, 1 for a valid .ico
// file, 0 otherwise.
int iconCount(const QString& path);

// One icon per group from `first` on (all when count is negative), in
// group order, each chosen and scaled to size x size. A group that cannot
// be decoded gives a null icon in its place. Empty for no icon source or
// a range outside the groups.
std::vector<Icon> extractIcons(const QString& path, int size, int first = 0, int count = -1);
// The icon at `index`; a negative index is minus a group's identifier.
Icon extractIcon(const QString& path, int index, int size);

// The icon of the file's type at size x size (32 or 16): the desktop's
// answer, else a plain document drawn here. Null for a missing file.
Icon associatedIcon(const QString& path, int size);

// An image as a group or an .ico directory lists it.
struct IconDirEntry {
    int width = 0;  // 0 in the directory stands for 256
    int height = 0;
    int bits = 0;
    uint32_t bytes = 0;
    uint32_t location = 0;  // RT_ICON identifier of a group; file offset in an .ico file
};

// The entries of an RT_GROUP_ICON resource; nullopt when its image count
// runs past the resource.
std::optional<std::vector<IconDirEntry>> readGroupDirectory(std::span<const uint8_t> group);
// The entries of an .ico file; nullopt when it is no icon file (reserved
// word not 0, type not 1, no image, or the directory past the end).
std::optional<std::vector<IconDirEntry>> readIcoDirectory(std::span<const uint8_t> file);

// The entries in the order the loader tries them for size x size: the
// exact size, else the nearest larger, else the nearest smaller; within a
// size the deepest colour up to kScreenBitsPerPixel, then group order.
std::vector<size_t> rankIconImages(std::span<const IconDirEntry> entries, int size);

// One image of a source at one icon size: where its bytes are (a file
// offset, or their address in memory) and how many there are.
struct IconImageKey {
    uint64_t location = 0;
    uint64_t length = 0;
    int size = 0;
    auto operator<=>(const IconImageKey&) const = default;
};

// The icons made in one extraction, by the image each came from: an image
// that many entries or groups name is decoded once, and one that failed is
// not tried again.
class IconImageCache {
public:
    // The icon made of the image before, null when it failed; nullptr when
    // it was not tried yet.
    const Icon* find(const IconImageKey& key) const;
    // Decodes the image, scaled to key.size, and keeps the outcome.
    const Icon& decode(const IconImageKey& key, std::span<const uint8_t> bytes);
    // The number of images decoded (or tried) so far.
    int decodes() const { return static_cast<int>(m_icons.size()); }

private:
    std::map<IconImageKey, Icon> m_icons;
};

// The icon of one group or one .ico file at size x size: the best-ranked
// image that decodes; null when none does. Images are decoded through
// `cache`, which may serve the other groups of the same module.
Icon iconFromGroup(const PeModule& module, std::span<const uint8_t> group, int size);
Icon iconFromGroup(const PeModule& module, std::span<const uint8_t> group, int size, IconImageCache& cache);
Icon iconFromIcoFile(std::span<const uint8_t> file, int size);
Icon iconFromIcoFile(std::span<const uint8_t> file, int size, IconImageCache& cache);

}  // namespace platform
