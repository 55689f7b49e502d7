#include "app/Settings.h"

#include "app/Unit1.h"
#include "kxCommon/kxFileUtils.h"
#include "platform/Exceptions.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <limits>
#include <optional>
#include <vector>

using platform::IniStore;

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kRecent = QStringLiteral("Recent");
const QString kPlacement = QStringLiteral("Placement");

// Less of a window than this on every screen, in either direction, and it
// cannot be grabbed: it is moved back on.
constexpr int64_t kMinVisible = 48;

bool hasLineBreak(const QString& text) { return text.contains(u'\n') || text.contains(u'\r'); }

// The values of "Settings" from "Language" on, which both stores share.
void readCommonSettings(const IniStore& Store)
{
    Language = Store.readInteger(kSettings, QStringLiteral("Language"), 0);
    OpenAfterSave = Store.readBool(kSettings, QStringLiteral("OpenAfterSave"), true);
    ShowSeparateWindow = Store.readBool(kSettings, QStringLiteral("ShowSeparateWindow"), true);
    SmallIcons = Store.readBool(kSettings, QStringLiteral("SmallIcons"), false);
    ExpIncludeNumbers = Store.readBool(kSettings, QStringLiteral("ExpIncludeNumbers"), true);
    ExpDrawBorder = Store.readBool(kSettings, QStringLiteral("ExpDrawBorder"), true);
    ExpGrayScale = Store.readBool(kSettings, QStringLiteral("ExpGrayScale"), false);
    ExpDBFFieldName = Store.readString(kSettings, QStringLiteral("ExpDBFFieldName"), QStringLiteral("ICON"));
    ExpTargetImageType = Store.readInteger(kSettings, QStringLiteral("ExpTargetImageType"), 0);
    if (ExpTargetImageType < 0 || ExpTargetImageType > 2)
        ExpTargetImageType = 0;
    ExpDBFType = Store.readInteger(kSettings, QStringLiteral("ExpDBFType"), 0);
    if (ExpDBFType < 0 || ExpDBFType > 5)
        ExpDBFType = 0;
}

void writeCommonSettings(IniStore& Store)
{
    Store.writeInteger(kSettings, QStringLiteral("Language"), Language);
    Store.writeBool(kSettings, QStringLiteral("OpenAfterSave"), OpenAfterSave);
    Store.writeBool(kSettings, QStringLiteral("ShowSeparateWindow"), ShowSeparateWindow);
    Store.writeBool(kSettings, QStringLiteral("SmallIcons"), SmallIcons);
    Store.writeBool(kSettings, QStringLiteral("ExpIncludeNumbers"), ExpIncludeNumbers);
    Store.writeBool(kSettings, QStringLiteral("ExpDrawBorder"), ExpDrawBorder);
    Store.writeBool(kSettings, QStringLiteral("ExpGrayScale"), ExpGrayScale);
    // A line break would split the INI line; the stored name then stays.
    if (!hasLineBreak(ExpDBFFieldName))
        Store.writeString(kSettings, QStringLiteral("ExpDBFFieldName"), ExpDBFFieldName);
    Store.writeInteger(kSettings, QStringLiteral("ExpTargetImageType"), ExpTargetImageType);
    Store.writeInteger(kSettings, QStringLiteral("ExpDBFType"), ExpDBFType);
}

// The value read plus one; a counter at its top stays there.
int32_t nextRun(int32_t read) { return read == std::numeric_limits<int32_t>::max() ? read : read + 1; }

// Names are the positions in the menu, "0" the newest. They are taken in
// that order whatever order the store keeps (the registry sorts them as
// text, "10" before "2"); other names follow in the store's order.
QStringList readRecent(const IniStore& Store)
{
    struct Entry {
        int64_t position;
        qsizetype order;
        QString path;
    };
    std::vector<Entry> entries;
    const platform::IniValues values = Store.readSectionValues(kRecent);
    entries.reserve(static_cast<size_t>(values.size()));
    for (qsizetype i = 0; i < values.size(); ++i) {
        const std::optional<int32_t> p = platform::parseInteger(values[i].first);
        entries.push_back({p && *p >= 0 ? *p : INT64_MAX, i, values[i].second});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.position != b.position ? a.position < b.position : a.order < b.order;
    });
    QStringList recent;
    for (const Entry& e : entries) {
        if (recent.size() == kMaxRecentFiles)
            break;
        if (!e.path.isEmpty() && !hasLineBreak(e.path) && QFileInfo(e.path).isFile())
            recent.append(e.path);
    }
    return recent;
}

void writeRecent(IniStore& Store, const QStringList& Recent)
{
    QStringList kept;
    for (const QString& path : Recent) {
        if (kept.size() == kMaxRecentFiles)
            break;
        if (!path.isEmpty() && !hasLineBreak(path))
            kept.append(path);
    }
    Store.eraseSection(kRecent);
    // The oldest first, as a reader that puts each on top expects.
    for (qsizetype p = kept.size() - 1; p >= 0; --p)
        Store.writeString(kRecent, QString::number(p), kept[p]);
}

// Qt's own limit on a window's size; coordinates past it are no screen's.
bool edgeUsable(int32_t Edge) { return Edge >= -QWIDGETSIZE_MAX && Edge <= QWIDGETSIZE_MAX; }

TPlacement readPlacement(const IniStore& Store, const TPlacement& Current, const QList<QRect>& Screens)
{
    TPlacement result = Current;
    if (Store.readBool(kPlacement, QStringLiteral("Maximized"), false))
        result.Maximized = true;
    // An edge no window can have reads as absent, as a missing one does;
    // the others stay when the rectangle they make is a window.
    const auto edge = [&](const QString& Name, int32_t CurrentEdge) {
        const int32_t value = Store.readInteger(kPlacement, Name, CurrentEdge);
        return edgeUsable(value) ? value : CurrentEdge;
    };
    result.Left = edge(QStringLiteral("Left"), Current.Left);
    result.Top = edge(QStringLiteral("Top"), Current.Top);
    result.Right = edge(QStringLiteral("Right"), Current.Right);
    result.Bottom = edge(QStringLiteral("Bottom"), Current.Bottom);
    if (!PlacementUsable(result)) {
        result.Left = Current.Left;
        result.Top = Current.Top;
        result.Right = Current.Right;
        result.Bottom = Current.Bottom;
    }
    PlaceOnScreen(result, Screens);
    result.FindPanelVisible = Store.readBool(kPlacement, QStringLiteral("FindPanelVisible"), false);
    result.FindPanelHeight
        = Store.readInteger(kPlacement, QStringLiteral("FindPanelHeight"), Current.FindPanelHeight);
    result.FilePanelWidth
        = Store.readInteger(kPlacement, QStringLiteral("FilePanelWidth"), Current.FilePanelWidth);
    return result;
}

void writePlacement(IniStore& Store, const TPlacement& P)
{
    Store.writeInteger(kPlacement, QStringLiteral("FindPanelHeight"), P.FindPanelHeight);
    Store.writeInteger(kPlacement, QStringLiteral("FilePanelWidth"), P.FilePanelWidth);
    Store.writeBool(kPlacement, QStringLiteral("FindPanelVisible"), P.FindPanelVisible);
    Store.writeInteger(kPlacement, QStringLiteral("Left"), P.Left);
    Store.writeInteger(kPlacement, QStringLiteral("Top"), P.Top);
    Store.writeInteger(kPlacement, QStringLiteral("Right"), P.Right);
    Store.writeInteger(kPlacement, QStringLiteral("Bottom"), P.Bottom);
    Store.writeBool(kPlacement, QStringLiteral("Maximized"), P.Maximized);
}

void readWindow(const IniStore& Store, TWindowSettings& Window, const QList<QRect>& Screens)
{
    Window.RecentFiles = readRecent(Store);
    Window.Placement = readPlacement(Store, Window.Placement, Screens);
}

}  // namespace

platform::UserRegistry ProgramRegistry()
{
    return platform::UserRegistry(QStringLiteral("Quellmark"), QStringLiteral("Pictorium"));
}

bool SettingsKeyExists() { return ProgramRegistry().keyExists(); }

QString IniFileName(const QString& ProgramDir, const QString& ConfigDir)
{
    const QString name = QStringLiteral("gharv.ini");
    const QString beside = AddBackslash(ProgramDir) + name;
    const QFileInfo folder(ProgramDir);
    if (QFileInfo::exists(beside) || (folder.isDir() && folder.isWritable()))
        return beside;
    const QString config = ConfigDir.isEmpty()
        ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        : ConfigDir;
    return AddBackslash(config) + QStringLiteral("Quellmark/Pictorium/") + name;
}

void SetDefaultSettings()
{
    Run = 0;
    SaveSettingsToRegistry = false;
    Language = 0;
    OpenAfterSave = true;
    ShowSeparateWindow = true;
    SmallIcons = false;
    ExpIncludeNumbers = true;
    ExpDrawBorder = true;
    ExpGrayScale = false;
    ExpDBFFieldName = QStringLiteral("ICON");
    ExpTargetImageType = 0;
    ExpDBFType = 0;
}

QString LoadSettings(const QString& IniFile, platform::UserRegistry& Registry, TWindowSettings& Window,
                     const QList<QRect>& Screens)
{
    SetDefaultSettings();
    SaveSettingsToRegistry = Registry.keyExists();
    bool read = false;
    QString notice;
    if (!SaveSettingsToRegistry || QFileInfo::exists(IniFile)) {
        QString error;
        read = ReadINI(IniFile, Registry, Window, Screens, &error);
        if (!read) {
            // WriteINI leaves such a file alone, so without the registry
            // every change would be lost at exit.
            SaveSettingsToRegistry = true;
            notice = QStringLiteral("The settings file cannot be used: %1\n"
                                    "It is left as it is, and the settings are kept in %2.")
                         .arg(error, Registry.fileName());
        }
    }
    if (!read && SaveSettingsToRegistry)
        ReadReg(Registry, Window, Screens);
    return notice;
}

bool ReadINI(const QString& FileName, const platform::UserRegistry& Registry, TWindowSettings& Window,
             const QList<QRect>& Screens, QString* Error)
{
    // The file is read whole before anything is applied, and reading the
    // values cannot fail: a file that cannot be read changes nothing.
    platform::IniFile ini(FileName);
    if (!ini.load(Error))
        return false;
    Run = nextRun(ini.readInteger(kSettings, QStringLiteral("Run"), 0));
    SaveSettingsToRegistry
        = ini.readBool(kSettings, QStringLiteral("SaveSettingsToRegistry"), false) || Registry.keyExists();
    readCommonSettings(ini);
    readWindow(ini, Window, Screens);
    return true;
}

void ReadReg(platform::UserRegistry& Registry, TWindowSettings& Window, const QList<QRect>& Screens)
{
    Run = nextRun(Registry.readInteger(kSettings, QStringLiteral("Run"), 0));
    Registry.writeInteger(kSettings, QStringLiteral("Run"), Run);
    // Start-up never stops for the settings: a registry that cannot be
    // written only loses the count.
    try {
        Registry.flush();
    } catch (const platform::Error&) {}
    readCommonSettings(Registry);
    readWindow(Registry, Window, Screens);
}

void WriteINI(const QString& FileName, const TWindowSettings& Window)
{
    platform::IniFile ini(FileName);
    QString error;
    // What the file holds besides our values is kept, so one that cannot
    // be read is not replaced.
    if (!ini.load(&error))
        throw platform::Error(error);
    ini.writeInteger(kSettings, QStringLiteral("Run"), Run);
    ini.writeBool(kSettings, QStringLiteral("SaveSettingsToRegistry"), SaveSettingsToRegistry);
    writeCommonSettings(ini);
    writeRecent(ini, Window.RecentFiles);
    writePlacement(ini, Window.Placement);
    if (!ini.save(&error))
        throw platform::Error(error);
}

void WriteReg(platform::UserRegistry& Registry, const TWindowSettings& Window)
{
    if (SaveSettingsToRegistry) {
        writeCommonSettings(Registry);
        writeRecent(Registry, Window.RecentFiles);
        writePlacement(Registry, Window.Placement);
        Registry.flush();
    } else if (Registry.keyExists()) {
        Registry.removeKey();
    }
}

void NSaveToRegistryClick(bool& Checked)
{
    Checked = !Checked;
    SaveSettingsToRegistry = Checked;
}

int32_t ClampPanelSize(int32_t Value, int32_t MinSize, int32_t Limit)
{
    if (Value < MinSize)
        return MinSize;
    if (Value > Limit)
        return Limit;
    return Value;
}

bool PlacementUsable(const TPlacement& Placement)
{
    for (const int32_t edge : {Placement.Left, Placement.Top, Placement.Right, Placement.Bottom})
        if (!edgeUsable(edge))
            return false;
    return Placement.Right > Placement.Left && Placement.Bottom > Placement.Top;
}

void PlaceOnScreen(TPlacement& Placement, const QList<QRect>& Screens)
{
    const int64_t left = Placement.Left;
    const int64_t top = Placement.Top;
    const int64_t width = int64_t {Placement.Right} - left;
    const int64_t height = int64_t {Placement.Bottom} - top;
    if (width <= 0 || height <= 0)
        return;

    const QRect* nearest = nullptr;
    double nearestDistance = 0;
    for (const QRect& screen : Screens) {
        if (screen.width() <= 0 || screen.height() <= 0)
            continue;
        const int64_t sl = screen.left();
        const int64_t st = screen.top();
        const int64_t sr = sl + screen.width();
        const int64_t sb = st + screen.height();
        const int64_t shownWidth = std::min(left + width, sr) - std::max(left, sl);
        const int64_t shownHeight = std::min(top + height, sb) - std::max(top, st);
        if (shownWidth >= std::min(width, kMinVisible) && shownHeight >= std::min(height, kMinVisible))
            return;
        // Centres are compared in doubles: their squares overflow 64 bits.
        const double dx
            = (static_cast<double>(left) + width / 2.0) - (static_cast<double>(sl) + (sr - sl) / 2.0);
        const double dy
            = (static_cast<double>(top) + height / 2.0) - (static_cast<double>(st) + (sb - st) / 2.0);
        const double distance = dx * dx + dy * dy;
        if (!nearest || distance < nearestDistance) {
            nearest = &screen;
            nearestDistance = distance;
        }
    }
    if (!nearest)
        return;

    const int64_t sl = nearest->left();
    const int64_t st = nearest->top();
    const int64_t newWidth = std::min<int64_t>(width, nearest->width());
    const int64_t newHeight = std::min<int64_t>(height, nearest->height());
    const int64_t newLeft = std::clamp<int64_t>(left, sl, sl + nearest->width() - newWidth);
    const int64_t newTop = std::clamp<int64_t>(top, st, st + nearest->height() - newHeight);
    Placement.Left = static_cast<int32_t>(newLeft);
    Placement.Top = static_cast<int32_t>(newTop);
    Placement.Right = static_cast<int32_t>(newLeft + newWidth);
    Placement.Bottom = static_cast<int32_t>(newTop + newHeight);
}
