#pragma once
// The icons of a file, as the shell gives them: how many a file holds, the
// icons of its groups at one size, and the icon of its file type.

#include "platform/Icon.h"
#include "platform/PeModule.h"

#include <QString>

#include <compare>
#include <map>
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
