#pragma once
// The files of the dBASE export: a table (.dbf) with one memo field of type
// "B" and one record per icon, and its memo file (.dbt) of 1024-byte blocks,
// one memo per icon holding the bytes of the icon or picture file. A
// save-all run encodes each icon and hands the bytes here, icon by icon;
// both files are created at the first icon and put in place by finish().
//
// Both files are written to temporary files beside their destinations and
// put in place together when the export is complete, so a run that fails
// leaves the earlier table and memo file as they were.
//
// The field name and the memo file's label are stored in Windows-1252, the
// code page the header's language byte names. The files themselves may have
// any name.

#include "platform/FileSet.h"

#include <QByteArrayView>
#include <QDate>
#include <QString>

#include <cstdint>
#include <functional>

class QFile;

class DbaseExport {
public:
    // Today's date for the table header; tests give a fixed one.
    using Clock = std::function<QDate()>;

    // DestDir: the folder of both files. DestFileName: the table as the user
    // named it (only its name part is used). DestExt: the table's extension
    // when that name has none (".dbf" when empty). DBFFieldName: the memo
    // field's name, "ICON" when empty. Clock: the local date; the system's
    // when empty. Throws platform::Error when the field name holds a
    // character the code page does not have.
    DbaseExport(const QString& DestDir, const QString& DestFileName, const QString& DestExt,
                const QString& DBFFieldName, Clock clock = {});
    ~DbaseExport();  // unfinished files are discarded
    DbaseExport(const DbaseExport&) = delete;
    DbaseExport& operator=(const DbaseExport&) = delete;

    // The table: DestDir joined to the name part of DestFileName, DestExt
    // appended when that has no extension; no name is changed in case. A
    // table named *.dbt in any case gets ".dbf" appended as well (in the
    // case of that extension, FollowCase), as its memo file would otherwise
    // be the table itself.
    static QString TableFileName(const QString& DestDir, const QString& DestFileName, const QString& DestExt);
    // The memo file: the table with its extension replaced by ".dbt" in the
    // case of the table's extension (FollowCase): "t.dbf" has "t.dbt",
    // "t.DBF" "t.DBT", "t.Dbf" "t.Dbt", "t" "t.dbt".
    static QString MemoFileName(const QString& TableFileName);
    // The field name as stored: Windows-1252, cut to 10 bytes. Throws
    // platform::Error for a name the code page cannot hold.
    static QByteArray EncodeFieldName(const QString& DBFFieldName);
    // The memo header's label: the memo file's name without folder and
    // extension, upper-cased, in Windows-1252 with "_" for each character
    // the code page lacks, cut to 8 bytes.
    static QByteArray EncodeMemoLabel(const QString& MemoFileName);

    const QString& tableFileName() const { return m_tableFileName; }
    const QString& memoFileName() const { return m_memoFileName; }

    // Stores one icon's data as the next memo and record. The first call
    // creates both files. Empty Data means the icon could not be encoded:
    // that stops the export with platform::Error. Throws platform::InOutError
    // when a file cannot be created or written. After an error both files
    // are discarded and every later call throws.
    void addIcon(int Index, QByteArrayView Data);

    // Writes the record count and the end-of-file mark and puts both files
    // in place. Does nothing when no icon was stored. Throws
    // platform::InOutError on failure; then the earlier files stay.
    void finish();

    bool filesCreated() const { return m_begun; }
    int recordCount() const { return m_recordCount; }
    // The bytes both files hold so far.
    qint64 bytesWritten() const;

private:
    void create();
    void write(QFile& file, QByteArrayView bytes);
    void discard();
    // Discards both files and throws; format takes the name and the reason.
    [[noreturn]] void fail(const QString& format, const QString& name, const QString& reason = {});
    const QString& nameOf(const QFile& file) const;

    QString m_tableFileName;
    QString m_memoFileName;
    QByteArray m_fieldName;
    QByteArray m_memoLabel;
    Clock m_clock;
    platform::FileSet m_files;
    QFile* m_table = nullptr;  // in m_files
    QFile* m_memo = nullptr;   // in m_files
    bool m_begun = false;
    bool m_failed = false;
    int m_recordCount = 0;
    uint64_t m_memoSize = 0;
};
