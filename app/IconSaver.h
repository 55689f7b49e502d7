#pragma once
// The main window's save routines, apart from the window: one icon to a
// file, the whole grid as one picture, and every icon of a file as numbered
// files or through the HTML, dBASE and PDF exports. The window delegates to
// a TIconSaver that reads its grid through TIconGridSource.
//
// What lasts across the calls of one save-all run (SaveCount, ConfirmResult
// and the names written) is the caller's. How each kind of export writes is
// in SaveAllWriters.

#include "app/IconGridSource.h"
#include "app/SaveAllRun.h"
#include "kxCommon/kxGraphicUtils.h"
#include "kxCommon/kxIconUtils.h"
#include "platform/Bitmap.h"
#include "platform/Exceptions.h"
#include "platform/Icon.h"

#include <QList>
#include <QSet>
#include <QString>

#include <cstdint>

struct TSaveAllTarget;

// The colour-depth class of an icon: of its colour bits, or of a
// monochrome icon as drawn on a default bitmap.
TBitCount GetColorCount(const platform::Icon& Icon);

// Throws TSourceError with the reason when Source cannot be read as a
// regular file.
void CheckSourceReadable(const QString& Source);

// FileName with the extension of format code FileType added when it has
// none (or only a final "."): for SaveIcon every code other than 1-5 gives
// "ico", for SaveAllAsOne "bmp".
QString CompleteSaveIconFileName(const QString& FileName, int FileType);
QString CompleteSaveAllAsOneFileName(const QString& FileName, int DestType);

// The stem of the numbered files of Source: its base name, "_" and its
// extension without the dot, lower-cased ("My Tool.EXE" gives "my tool_exe").
QString SaveAllStem(const QString& Source);
// DestDir/ico_<Stem><Number><PictureExt>, the number i + 1 with at least 4 digits.
QString SaveAllFileName(const QString& DestDir, const QString& Stem, int Index, const QString& PictureExt);
// Name, or when a file of that name was already written in this run the
// first of Name-2, Name-3, ... (the suffix before the extension) that was not.
QString NextFreeRunName(const QString& Name, const QSet<QString>& WrittenNames);

class TIconSaver {
public:
    // Grid: the grid of the main window; FileName: its current file (the
    // file the grid shows).
    TIconSaver(const TIconGridSource& Grid, const QString& FileName);

    const QString& FileName() const { return FFileName; }

    // Saves the grid's icon IconIndex: FileType 0 (and every code other than
    // 1-5) the icon group of the current file as an .ico file, or a copy of
    // the current .ico file after its check; 1-5 a picture of the icon.
    // Result: the image count of the group written, 1 for a copied .ico
    // file or a picture. Throws platform::Error with the reason for anything
    // not written whole: FileName is the current file, an index outside the
    // grid, an icon that cannot be read, and every writer's error.
    int SaveIcon(int IconIndex, const QString& FileName, int FileType, bool GrayScale);

    // Draws the whole grid into one picture of format DestType (codes other
    // than 2-5 are BMP); icons that cannot be read stay blank cells and are
    // named in Skipped(). Throws as SaveIcon does; an empty grid, or one
    // whose icons cannot be read at all, gives no file; a picture larger
    // than kMaxPictureSide on a side is refused before it is made.
    void SaveAllAsOne(const QString& FileName, int DestType, bool GrayScale);

    // Saves every icon of SrcFileName (the current file when empty):
    // FileType 0-5 numbered files in DestDir (other codes count as 0), 11 an
    // HTML page with its pictures in DestDir, 12 a dBASE table, 13 a PDF
    // document. Every file of a call is put in place at its end, together
    // with the others or not at all. SaveCount grows by one for every file
    // or icon put in place; ConfirmResult keeps a Yes to All or No to All
    // answer of the overwrite question; WrittenNames holds the numbered
    // files put in place in the run, so that two sources of the same name do
    // not overwrite each other. Callers start a run with all three empty.
    // Icons that cannot be read are left out (Skipped). Throws TSourceError
    // when the source cannot be read, holds no readable icon, or was
    // replaced or rewritten while the run read it, platform::Error when an
    // output would replace the source file, and the writers' errors; no
    // file of the call is then replaced or added, and none is counted.
    void SaveAll(const QString& SrcFileName, const QString& DestDir, const QString& DestFileName,
                 const QString& DestExt, const QString& DBFFieldName, int FileType, int DBFType,
                 bool IncludeNumbers, bool DrawBorders, bool GrayScale, bool Small, int TargetImageType,
                 int& SaveCount, uint16_t& ConfirmResult, QSet<QString>& WrittenNames);
    // The icons (from 0) the last SaveAll or SaveAllAsOne left out because
    // they cannot be read.
    const QList<int>& Skipped() const { return FSkipped; }
    // What SaveAll may write for one source: RunOutputLimit of the source's
    // size unless set; past it the run throws TSourceError, before anything
    // is written when the files' count alone passes it.
    void SetRunOutputLimit(qint64 Bytes) { FRunOutputLimit = Bytes; }

private:
    // Target, what a run of File is asked to write, with the size of its
    // pictures (the grid's own for the grid's icons, FromGrid, else the
    // system's icon size of Small) and File to read from.
    TSaveAllTarget RunTarget(const platform::IconSourceFile& File, bool FromGrid, bool Small,
                             TSaveAllTarget Target) const;
    // True when Name may be written: no file there, batch mode, or the
    // overwrite question allows it.
    bool MayOverwrite(const QString& Name, uint16_t& Answer, uint16_t& ConfirmResult) const;

    const TIconGridSource& FGrid;
    QString FFileName;
    QList<int> FSkipped;
    qint64 FRunOutputLimit = 0;
};
