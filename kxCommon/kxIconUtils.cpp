#include "kxCommon/kxIconUtils.h"

#include "kxCommon/KXStrUtils.h"
#include "kxCommon/kxFileUtils.h"
#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"
#include "platform/ClassesRoot.h"
#include "platform/Exceptions.h"
#include "platform/FileSystem.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::Bytes;
using platform::PeModule;
using platform::ResourceId;
using platform::ResType;

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

QString tr(const char* text) { return QCoreApplication::translate("kxIconUtils", text); }

// The extension with its dot, as the file name's last dot after the last
// folder separator gives it; ASCII letters lower-cased.
QString lowerExtension(const QString& fileName)
{
    QString ext = ExtractFileExt(fileName);
    for (QChar& c : ext)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    return ext;
}

// A signed decimal as the run-time library reads it; nullopt otherwise.
std::optional<int> toInteger(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

// Opens FileName for reading without waiting, so that a FIFO put in the
// file's place cannot stall the caller, and takes only a regular file.
// False, with the reason in Reason, otherwise.
bool openRegularFile(const QString& FileName, QFile& File, QString& Reason)
{
    const int fd = ::open(QFile::encodeName(FileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Reason = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Reason = tr("it is not a regular file");
        return false;
    }
    if (!File.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        Reason = File.errorString();
        return false;
    }
    return true;
}

QStringList groupNames(const PeModule& module)
{
    QStringList names;
    for (const ResourceId& name : module.resourceNames(ResourceId::fromType(ResType::GroupIcon)))
        if (!EnumIconGroupNamesProc(name, names))
            break;
    return names;
}

}  // namespace

bool EnumIconGroupNamesProc(const ResourceId& Name, QStringList& Names)
{
    if (Name.isId())
        Names.append(QString::number(*Name.id));
    else
        Names.append(Name.name.startsWith(u'#') ? Name.name.mid(1) : Name.name);
    return true;
}

bool FillGroupEntry(IconImageEntry& Entry, Bytes Image)
{
    using platform::be32;
    using platform::le16;
    using platform::le32;
    using platform::le32s;
    Entry.data = Image;
    Entry.size = static_cast<uint32_t>(Image.size());
    if (Image.size() >= 33 && std::equal(kPngSignature, kPngSignature + 8, Image.begin())
        && be32(Image, 12) == 0x49484452u) {  // "IHDR"
        // A PNG image: the directory describes its pixels from IHDR.
        static constexpr int channels[7] = {1, 0, 3, 1, 2, 0, 4};
        const uint8_t depth = Image[24];
        const uint8_t colourType = Image[25];
        Entry.isDib = false;
        Entry.width = static_cast<int32_t>(std::min<uint32_t>(be32(Image, 16), 0x7FFFFFFF));
        Entry.height = static_cast<int32_t>(std::min<uint32_t>(be32(Image, 20), 0x7FFFFFFF));
        Entry.planes = 1;
        Entry.bitCount = static_cast<uint16_t>(depth * (colourType < 7 ? channels[colourType] : 0));
        return true;
    }
    if (Image.size() >= 12 && le32(Image, 0) == 12) {
        // The old core header: 16-bit fields and no image-size field.
        Entry.width = le16(Image, 4);
        Entry.height = le16(Image, 6) / 2;
        Entry.planes = le16(Image, 8);
        Entry.bitCount = le16(Image, 10);
        Entry.isDib = false;  // nothing at bytes 20-23 to clear
        return true;
    }
    if (Image.size() < 40)
        return false;
    Entry.isDib = true;
    Entry.width = le32s(Image, 4);
    Entry.height = le32s(Image, 8) / 2;
    Entry.planes = le16(Image, 12);
    Entry.bitCount = le16(Image, 14);
    return true;
}

bool SharesImageBytes(const std::vector<IconImageEntry>& Entries)
{
    // The images are views of one module's bytes, so overlapping views are
    // bytes named twice; sorted by start, each must end before the next.
    std::vector<std::pair<uintptr_t, uintptr_t>> spans;
    spans.reserve(Entries.size());
    for (const IconImageEntry& e : Entries) {
        const auto begin = reinterpret_cast<uintptr_t>(e.data.data());
        spans.emplace_back(begin, begin + e.data.size());
    }
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); ++i)
        if (spans[i].first < spans[i - 1].second)
            return true;
    return false;
}

void WriteIconDirHeader(QByteArray& Out, uint16_t Count)
{
    platform::appendLe16(Out, 0);
    platform::appendLe16(Out, 1);
    platform::appendLe16(Out, Count);
}

uint32_t ImageDataOffset(const std::vector<IconImageEntry>& Entries, size_t Index)
{
    uint64_t offset = 6 + 16 * uint64_t {Entries.size()};
    for (size_t i = 0; i < Index; ++i)
        offset += Entries[i].size;
    return static_cast<uint32_t>(offset);
}

uint8_t IconDirDimension(int32_t Value) { return Value > 0 && Value < 256 ? static_cast<uint8_t>(Value) : 0; }

bool IsValidIconFile(Bytes File)
{
    const size_t count = File.size() >= 6 ? platform::le16(File, 4) : 0;
    bool valid = File.size() >= 6 && platform::le16(File, 0) == 0 && platform::le16(File, 2) == 1 && count > 0
        && 6 + 16 * count <= File.size();
    for (size_t i = 0; valid && i < count; ++i) {
        const uint64_t size = platform::le32(File, 6 + 16 * i + 8);
        const uint64_t offset = platform::le32(File, 6 + 16 * i + 12);
        valid = size > 0 && offset >= 6 + 16 * count && offset + size <= File.size();
    }
    return valid;
}

QByteArray ReadValidIconFile(const QString& FileName, int IconIndex, QString& ErrorText)
{
    QString reason;
    const auto file = platform::IconSourceFile::open(FileName, &reason);
    if (!file) {
        ErrorText = tr("Cannot read \"%1\": %2").arg(FileName, reason);
        return {};
    }
    return ReadValidIconFile(*file, IconIndex, ErrorText);
}

QByteArray ReadValidIconFile(const platform::IconSourceFile& File, int IconIndex, QString& ErrorText)
{
    const QString& FileName = File.path();
    // A copy reads the file whole, so one larger than an icon file can be
    // (a sparse file of gigabytes) is refused before anything is read.
    if (File.identity().size > platform::kMaxIconFileBytes) {
        ErrorText = tr("\"%1\" is too large to be an icon file.").arg(FileName);
        return {};
    }
    QString reason;
    const QByteArray* bytes = File.bytes(&reason);
    if (!bytes) {
        ErrorText = tr("Cannot read \"%1\": %2").arg(FileName, reason);
        return {};
    }
    if (!IsValidIconFile(Bytes(reinterpret_cast<const uint8_t*>(bytes->constData()),
                               static_cast<size_t>(bytes->size())))) {
        ErrorText = tr("\"%1\" is not a valid icon file.").arg(FileName);
        return {};
    }
    // An .ico file is one icon, whatever its images.
    if (IconIndex != 0) {
        ErrorText
            = tr("\"%1\" holds one icon; there is no icon %2.").arg(FileName).arg(qint64 {IconIndex} + 1);
        return {};
    }
    return *bytes;
}

void WriteIconDirEntries(QByteArray& Out, const std::vector<IconImageEntry>& Entries)
{
    uint32_t offset = ImageDataOffset(Entries, 0);
    for (const IconImageEntry& e : Entries) {
        const uint32_t product = uint32_t {e.planes} * e.bitCount;
        Out.append(static_cast<char>(IconDirDimension(e.width)));
        Out.append(static_cast<char>(IconDirDimension(e.height)));
        Out.append(static_cast<char>(product < 8 ? 1u << product : 0));
        Out.append('\0');
        platform::appendLe16(Out, e.planes);
        platform::appendLe16(Out, e.bitCount);
        platform::appendLe32(Out, e.size);
        platform::appendLe32(Out, offset);
        offset += e.size;
    }
    for (const IconImageEntry& e : Entries) {
        const qsizetype at = Out.size();
        Out.append(reinterpret_cast<const char*>(e.data.data()), static_cast<qsizetype>(e.data.size()));
        // The image-size field of a DIB header is not kept in icon files.
        if (e.isDib)
            std::fill(Out.begin() + at + 20, Out.begin() + at + 24, '\0');
    }
}

QByteArray BuildIconGroupFile(const PeModule& Module, const QString& ModuleName, const QString& GroupName,
                              int& ImageCount, QString& ErrorText, bool CountOnly)
{
    const ResourceId groupType = ResourceId::fromType(ResType::GroupIcon);
    std::optional<Bytes> group = Module.findResource(groupType, ResourceId {std::nullopt, GroupName});
    if (!group) {
        const auto id = toInteger(GroupName);
        if (!id)
            throw platform::ConvertError::notAnInteger(GroupName);
        if (*id >= 0 && *id <= 0xFFFF)
            group = Module.findResource(groupType, ResourceId::fromId(static_cast<uint16_t>(*id)));
    }
    if (!group)
        return {};
    if (group->size() < 6) {
        ErrorText = tr("Unable to read the icon %1 from '%2'.").arg(GroupName, ModuleName);
        return {};
    }
    // A count larger than the group holds is cut to the entries present.
    const size_t count = std::min<size_t>(platform::le16(*group, 4), (group->size() - 6) / 14);
    ImageCount = static_cast<int>(count);
    if (CountOnly)
        return {};

    std::vector<IconImageEntry> entries;
    entries.reserve(count);
    const ResourceId iconType = ResourceId::fromType(ResType::Icon);
    uint64_t total = 6;
    for (size_t i = 0; i < count; ++i) {
        const uint16_t id = platform::le16(*group, 6 + 14 * i + 12);
        const auto image = Module.findResource(iconType, ResourceId::fromId(id));
        IconImageEntry entry;
        // An image that is missing or too short to describe is left out.
        if (!image || !FillGroupEntry(entry, *image))
            continue;
        total += 16 + image->size();
        if (total > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
            ErrorText = tr("Unable to read the icon %1 from '%2'.").arg(GroupName, ModuleName);
            ImageCount = 0;
            return {};
        }
        entries.push_back(entry);
    }
    if (SharesImageBytes(entries)) {
        ErrorText = tr("The icon %1 of '%2' names the same image more than once; it is not saved.")
                        .arg(GroupName, ModuleName);
        ImageCount = 0;
        return {};
    }
    ImageCount = static_cast<int>(entries.size());
    QByteArray out;
    out.reserve(static_cast<qsizetype>(total));
    WriteIconDirHeader(out, static_cast<uint16_t>(entries.size()));
    WriteIconDirEntries(out, entries);
    return out;
}

bool WriteIconGroupFile(const PeModule& Module, const QString& ModuleName, const QString& DestFile,
                        const QString& GroupName, int& ImageCount, QString& ErrorText)
{
    const bool countOnly = DestFile.isEmpty();
    if (!countOnly && platform::isSameFile(ModuleName, DestFile)) {
        ErrorText = tr("'%1' is the file the icon comes from; it is not overwritten.").arg(DestFile);
        return false;
    }
    const QByteArray file
        = BuildIconGroupFile(Module, ModuleName, GroupName, ImageCount, ErrorText, countOnly);
    if (countOnly || file.isEmpty())
        return false;
    if (!platform::writeFileAtomically(DestFile, file, &ErrorText)) {
        ImageCount = 0;
        return false;
    }
    return true;
}

bool WriteIconGroupFile(const QString& Module, const QString& DestFile, const QString& GroupName,
                        int& ImageCount, QString& ErrorText)
{
    const auto module = PeModule::open(Module);
    if (!module)
        return false;
    return WriteIconGroupFile(*module, Module, DestFile, GroupName, ImageCount, ErrorText);
}

namespace {

// The groups of FileName, whose own module OpenOwn opens when it is one.
template <typename OpenOwn> IconGroupSource openIconGroups(const QString& FileName, OpenOwn openOwn)
{
    IconGroupSource source;
    source.FileName = FileName;
    const QString ext = lowerExtension(FileName);
    if (ext == u".ico") {
        source.IconFile = true;
        return source;
    }
    source.ModuleName = FileName;
    std::shared_ptr<const PeModule> module = openOwn();
    if (ext != u".exe" && ext != u".dll" && ext != u".ocx"
        && (!module || module->resourceCount(ResourceId::fromType(ResType::GroupIcon)) == 0)) {
        // Any PE file with icons of its own (.cpl, .scr, .icl, ...) is read as
        // a module, so the saved group is the one its icons show; any other
        // file gives its type's icon.
        const QString location = GetDefaultIconLocation(ext);
        const qsizetype comma = location.indexOf(u',');
        if (comma >= 0) {
            source.ModuleName = TrimBlanksAndControls(location.left(comma));
            source.Index = toInteger(TrimBlanksAndControls(location.mid(comma + 1))).value_or(0);
        } else {
            source.ModuleName = location;
        }
        module = PeModule::open(source.ModuleName);
    }
    if (module)
        source.Names = groupNames(*module);
    source.Module = std::move(module);
    return source;
}

}  // namespace

IconGroupSource OpenIconGroupSource(const QString& FileName)
{
    return openIconGroups(FileName,
                          [&] { return std::shared_ptr<const PeModule>(PeModule::open(FileName)); });
}

IconGroupSource OpenIconGroupSource(const platform::IconSourceFile& File)
{
    return openIconGroups(File.path(), [&] { return File.module(); });
}

bool ExtractIconGroupToFile(const IconGroupSource& Source, const QString& DestFile, int Index,
                            int& ImageCount, QString& ErrorText)
{
    ImageCount = 0;
    if (Source.IconFile) {
        if (!DestFile.isEmpty()) {
            if (platform::isSameFile(Source.FileName, DestFile)) {
                ErrorText = tr("'%1' is the file the icon comes from; it is not overwritten.").arg(DestFile);
                return false;
            }
            // A file that is no icon is not passed on as one.
            const QByteArray icon = ReadValidIconFile(Source.FileName, std::max(Index, 0), ErrorText);
            return !icon.isEmpty() && platform::writeFileAtomically(DestFile, icon, &ErrorText);
        }
        QFile file;
        QString reason;
        if (!openRegularFile(Source.FileName, file, reason))
            throw platform::InOutError(QStringLiteral("Cannot read \"%1\": %2").arg(Source.FileName, reason));
        char header[6];
        if (file.read(header, 6) != 6)
            throw platform::InOutError(QStringLiteral("Read beyond end of file"));
        ImageCount = static_cast<uint8_t>(header[4]) | (static_cast<uint8_t>(header[5]) << 8);
        return true;
    }
    const std::optional<QString> name = IconGroupName(Source, Index);
    if (!name)
        return false;
    WriteIconGroupFile(*Source.Module, Source.ModuleName, DestFile, *name, ImageCount, ErrorText);
    return true;
}

std::optional<QString> IconGroupName(const IconGroupSource& Source, int Index)
{
    const QStringList& names = Source.Names;
    if (!Source.Module || names.isEmpty())
        return std::nullopt;
    if (Source.Index)
        Index = *Source.Index;
    if (Index < 0) {
        const QString wanted = QString::number(-static_cast<int64_t>(Index));
        Index = std::max<qsizetype>(names.indexOf(wanted), 0);
    }
    if (Index >= names.size())
        throw platform::ListIndexError(Index);
    return names.at(Index);
}

bool ExtractIconGroupToFile(const QString& FileName, const QString& DestFile, int Index, int& ImageCount,
                            QString& ErrorText)
{
    return ExtractIconGroupToFile(OpenIconGroupSource(FileName), DestFile, Index, ImageCount, ErrorText);
}

QString GetDefaultIconLocation(const QString& Extension)
{
    const platform::ClassesRoot& root = platform::classesRoot();
    QString location;
    if (const auto value = root.defaultValue(Extension + QStringLiteral("\\DefaultIcon"))) {
        location = *value;
    } else if (const auto progId = root.defaultValue(Extension)) {
        if (!progId->isEmpty())
            location = root.defaultValue(*progId + QStringLiteral("\\DefaultIcon")).value_or(QString());
    }
    if (location.contains(u'%'))
        location = platform::expandEnvironmentStrings(location);
    const qsizetype percent = location.indexOf(u'%');
    if (percent >= 0)
        location.truncate(percent);
    if (location.startsWith(u'"')) {
        location.remove(0, 1);
        // A quoted path followed by ",index" loses its closing quote too.
        const qsizetype quote = location.indexOf(u'"');
        if (quote >= 0 && TrimBlanksAndControls(location.mid(quote + 1)).startsWith(u','))
            location.remove(quote, 1);
    }
    if (location.endsWith(u'"'))
        location.chop(1);
    while (!location.isEmpty() && (location.endsWith(u' ') || location.endsWith(u'"')))
        location.chop(1);
    return location;
}
