#pragma once
// The files of the dBASE export: a table (.dbf) with one memo field of type
// "B" and one record per icon, and its memo file (.dbt) of 1024-byte blocks,
// one memo per icon holding the bytes of the icon or picture file. A
// save-all run encodes each icon and hands the bytes here, icon by icon;
// both files are created at the first icon and put in place by finish().
//
// Both files are written to temporary files beside their destinations and
// renamed over them only when the export is complete, so a run that fails
// leaves neither a partial table nor a partial memo file.
//
// File names and the field name are taken as UTF-8: this system has no
// ANSI code page.

#include <QByteArrayView>
#include <QDate>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QSaveFile;

class DbaseExport {
public:
    // Today's date for the table header; tests give a fixed one.
    using Clock = std::function<QDate()>;

    // DestDir: the folder of both files. DestFileName: the table as the user
    // named it (only its name part is used). DestExt: the table's extension
    // when that name has none (".dbf" when empty). DBFFieldName: the memo
    // field's name, "ICON" when empty. Clock: the local date; the system's
    // when empty.
    DbaseExport(const QString& DestDir, const QString& DestFileName, const QString& DestExt,
                const QString& DBFFieldName, Clock clock = {});
    ~DbaseExport();  // unfinished files are discarded
    DbaseExport(const DbaseExport&) = delete;
    DbaseExport& operator=(const DbaseExport&) = delete;

    // The table: DestDir joined to the name part of DestFileName, DestExt
    // appended when that has no extension. A table named *.dbt gets ".dbf"
    // appended as well, as its memo file would otherwise be the table itself.
    static QString TableFileName(const QString& DestDir, const QString& DestFileName, const QString& DestExt);
    // The memo file: the table with its extension replaced by ".dbt".
    static QString MemoFileName(const QString& TableFileName);
    // The field name as stored: UTF-8, cut to 10 bytes on a character boundary.
    static QByteArray EncodeFieldName(const QString& DBFFieldName);

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
    // platform::InOutError on failure; then neither file is left.
    void finish();

    bool filesCreated() const { return m_begun; }
    int recordCount() const { return m_recordCount; }

private:
    void create();
    void write(QSaveFile& file, QByteArrayView bytes);
    void discard();
    [[noreturn]] void fail(QSaveFile* file, const QString& format);

    QString m_tableFileName;
    QString m_memoFileName;
    QByteArray m_fieldName;
    Clock m_clock;
    std::unique_ptr<QSaveFile> m_table;
    std::unique_ptr<QSaveFile> m_memo;
    bool m_begun = false;
    bool m_failed = false;
    int m_recordCount = 0;
    uint64_t m_memoSize = 0;
};
