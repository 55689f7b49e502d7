#pragma once
// The program's command line as data: the switches and file names of one
// start (TCommandLine), and what an export run makes of them (TExportPlan):
// the format codes, the save routine to call, its folder and extension, and
// the file to open afterwards. The main window's handler acts on the plan.

#include <QString>
#include <QStringList>

#include <functional>

struct TCommandLine {
    // Parameters after this many are not looked at.
    static constexpr int kMaxParams = 24;

    bool Export = false;
    bool CloseWhenDone = false;
    bool OpenDestination = false;
    bool AllAsOne = false;
    bool SmallIcons = false;
    bool GrayScale = false;
    bool IncludeNumbers = false;
    bool DrawBorders = false;
    QString DBFFieldName;       // trimmed, at most 10 characters
    QString DBFDestType;        // upper case, trimmed
    QString HTMLDestImageType;  // upper case, trimmed
    QString DestType;           // upper case, trimmed; empty when not given
    int IconIndex = 1;          // from 1; 0 only when given as 0
    QStringList Arguments;      // the parameters that are not switches
    QStringList Params;         // the parameters looked at (the first kMaxParams)
    // Values that do not parse ("-iconindex=abc", a type that its switch
    // does not take): an export is refused with these messages rather than
    // run on a guess.
    QStringList Errors;

    // Whether a file or folder of a name exists; a parameter that names one
    // is a path even when it could be read as a "/" switch.
    using PathExists = std::function<bool(const QString&)>;
    static bool FileOrFolderExists(const QString& Path);

    static TCommandLine Parse(const QStringList& Params, const PathExists& Exists = FileOrFolderExists);

    // "-" always begins a switch. An absolute path begins with "/" too, so
    // "/" begins one only when the name up to "=" is a switch name and no
    // file or folder of the parameter's name exists.
    static bool IsSwitch(const QString& S, const PathExists& Exists);
    // The switch's name part (up to and including "=", or all of it when
    // "=" is missing or among the first two characters) lower-cased, and
    // its first character made "-".
    static QString Normalize(const QString& S);

    // With Export the first argument, else every parameter looked at joined
    // with blanks (an unquoted path with blanks arrives in pieces).
    QString Source() const;
    // With Export the second argument; empty when there is none.
    QString Dest() const;
};

// The codes of the type texts (upper case).
// dBASE data: 0 icon, 1-5 the picture format codes.
int DBFTypeOf(const QString& DBFDestType);
// HTML pictures: 0 PNG, 1 JPEG, 2 GIF.
int TargetImageTypeOf(const QString& HTMLDestImageType);
// The export's FileType: 0-5 the image format codes, 11 HTML page, 12 dBASE
// table, 13 PDF document. DestType is rewritten to the extension its files
// get where the text is a synonym: "BITMAP" to "BMP", "METAFILE" to "EMF",
// "DBASE" to "DBF", and every unknown type (the empty one too) to "ICO".
int FileTypeOf(QString& DestType);

// Dest with a relative path taken from Dir (the folder the program was
// started in); empty and absolute ones stay as they are.
QString ResolvePath(const QString& Dir, const QString& Path);

struct TExportPlan {
    enum TAction {
        SaveOneIcon,    // SaveIcon (IconIndex - 1, Dest, FileType, ...)
        SaveGridAsOne,  // SaveAllAsOne (Dest, FileType, ...)
        SaveEveryIcon,  // SaveAll into DestDir
    };
    TAction Action = SaveOneIcon;
    int FileType = 0;
    int DBFType = 0;
    int TargetImageType = 0;
    QString DestType;  // as FileTypeOf rewrote it
    int IconIndex = 1;
    QString DestDir;  // SaveEveryIcon: the folder of the files written
    // SaveEveryIcon: Dest's extension as given when it is "." + DestType in
    // any case, else "." + DestType in lower case: the page's extension,
    // and the table's when Dest has none.
    QString DestExt;
    // SaveEveryIcon of icons or pictures: DestDir is Dest, made a folder
    // when it does not exist.
    bool MakeDestFolder = false;
    // The file that OpenDestination opens: the one the save writes (its
    // extension is the save routine's, not DestType's spelling); empty for
    // a folder of numbered files, which is not opened.
    QString OpenFile;
};

TExportPlan PlanExport(const TCommandLine& CommandLine, const QString& Dest);
