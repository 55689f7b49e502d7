#pragma once
// Paths, folders and file versions.

#include <QString>

// Dir + "/" + Name, without doubling a "/" that ends Dir. Name is used as
// it stands; an empty Dir gives Name.
QString JoinPath(const QString& Dir, const QString& Name);

// The extension of the name part of FileName, from its last "." on, dot
// included; empty when the name has no dot.
QString ExtractFileExt(const QString& FileName);

// Path with a trailing "/"; an empty path stays empty.
QString AddBackslash(const QString& Path);

// True for an existing directory (or a link to one).
bool DirExists(const QString& Path);

// The system's temporary folder, $TMPDIR or else /tmp, ending in "/". Not
// checked for existence.
QString GetWinTempPath();

// The first existing folder of $TMP, $TEMP and GetWinTempPath(), else the
// program's own folder; absolute and ending in "/".
QString GetTempFolder();

// The "FileVersion" text of the file's version resource in its first
// translation (US English, Western code page when it names none); empty for
// a file that is not a module or has no such text.
QString GetFileVersionString(const QString& FileName);

// ---- Folder search for icon files -----------------------------------------

#include <QObject>

#include <cstdint>
#include <functional>

// The string list a search fills: the caller's list, with the begin/end
// update brackets a list control needs.
class TStrings {
public:
    virtual ~TStrings() = default;
    virtual void BeginUpdate() {}
    virtual void EndUpdate() {}
    virtual void Clear() = 0;
    virtual void Add(const QString& S) = 0;
    virtual int Count() const = 0;
};

// A TStrings over a QStringList.
class TStringListStrings : public TStrings {
public:
    explicit TStringListStrings(QStringList& list) : m_list(list) {}
    void Clear() override { m_list.clear(); }
    void Add(const QString& S) override { m_list.append(S); }
    int Count() const override { return static_cast<int>(m_list.size()); }

private:
    QStringList& m_list;
};

// The search's progress hook: set Cancel to stop the search.
using TFileFoundEvent = std::function<void(QObject* Sender, int32_t Index, int32_t Count,
                                           const QString& FileName, const QString& Info, bool& Cancel)>;

// Assigned once by the main window; empty at start.
extern TFileFoundEvent OnFileFound;

enum : uint8_t { srDone = 0, srCancelled = 2 };

// Appends the files of Dir (and its sub-folders with Recurse) that match
// one of the ";"-separated Masks and hold at least MinIcons icons, named
// relative to BaseDir unless FullPaths. At the top level (Dir = BaseDir)
// the list is cleared first. Returns srDone or srCancelled.
// Tick, when given, is called before each entry the search examines (each
// name of a folder, matching or not), so that a caller can keep its window
// alive in folders where few files match; setting Cancel stops the search
// as the hook's Cancel does.
// Skipped, when given, is raised by each name left out because its bytes
// are not UTF-8 and so cannot be opened: a file a mask matches, or a
// sub-folder the search would have entered.
using TSearchTick = std::function<void(bool& Cancel)>;
uint8_t FindIconFiles(const QString& BaseDir, const QString& Dir, const QString& Masks, int32_t MinIcons,
                      bool Recurse, bool FullPaths, TStrings& List, const TSearchTick& Tick = {},
                      int32_t* Skipped = nullptr);

// A mask of the file search: "*" and "?", letter case ignored.
bool FileMaskMatch(QStringView Name, QStringView Mask);
