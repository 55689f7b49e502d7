#include "app/DbaseExport.h"

#include "app/myutils.h"
#include "kxCommon/kxFileUtils.h"
#include "platform/ByteWriter.h"
#include "platform/CodePage1252.h"
#include "platform/Exceptions.h"
#include "platform/FileSystem.h"

#include <QFile>

#include <algorithm>
#include <limits>

namespace {

constexpr int kHeaderLength = 65;
constexpr int kRecordLength = 11;
constexpr uint64_t kBlockSize = 1024;
constexpr int kMemoRefLength = 10;
constexpr int kFieldNameRoom = 10;
constexpr int kMemoNameRoom = 8;

QByteArray le32(uint32_t v)
{
    QByteArray bytes(4, '\0');
    platform::putLe32(bytes.data(), v);
    return bytes;
}

// The first Room bytes of Text in Windows-1252, or an error naming What
// when the code page lacks one of its characters.
QByteArray codePagePrefix(const QString& Text, int Room, const char* What)
{
    const QByteArray bytes = platform::toCp1252(Text);
    if (platform::fromCp1252(bytes) != Text)
        throw platform::Error(QStringLiteral("The %1 \"%2\" holds characters that a dBASE table's code page "
                                             "(Windows-1252) cannot store.")
                                  .arg(QLatin1String(What), Text));
    return bytes.left(Room);
}

// Text in Windows-1252 with "_" for each character the code page lacks.
QByteArray codePageWithStandIns(const QString& Text)
{
    QByteArray bytes;
    for (const char32_t c : Text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        const QByteArray b = platform::toCp1252(one);
        bytes += platform::fromCp1252(b) == one ? b : QByteArray("_");
    }
    return bytes;
}

QString namePart(const QString& path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }

}  // namespace

DbaseExport::DbaseExport(const QString& DestDir, const QString& DestFileName, const QString& DestExt,
                         const QString& DBFFieldName, Clock clock)
    : m_tableFileName(TableFileName(DestDir, DestFileName, DestExt)),
      m_memoFileName(MemoFileName(m_tableFileName)),
      m_fieldName(EncodeFieldName(DBFFieldName)),
      m_memoLabel(EncodeMemoLabel(m_memoFileName)),
      m_clock(std::move(clock))
{}

DbaseExport::~DbaseExport() = default;

QString DbaseExport::TableFileName(const QString& DestDir, const QString& DestFileName,
                                   const QString& DestExt)
{
    QString table = DestDir;
    if (!table.isEmpty() && !table.endsWith(QLatin1Char('/')))
        table += QLatin1Char('/');
    table += namePart(DestFileName);
    if (ExtractFileExt(table).isEmpty())
        table += DestExt.isEmpty() ? QStringLiteral(".dbf") : DestExt;
    // Any case: on a case-blind volume "X.DBT" and "X.dbt" are one file.
    const QString ext = ExtractFileExt(table);
    if (ext.compare(QLatin1String(".dbt"), Qt::CaseInsensitive) == 0)
        table += FollowCase(QStringLiteral(".dbf"), ext);
    return table;
}

QString DbaseExport::MemoFileName(const QString& TableFileName)
{
    // In the table's case: "t.DBF" and "t.dbf" are two tables, each with
    // its own memo file.
    const QString ext = ExtractFileExt(TableFileName);
    return TableFileName.chopped(ext.size()) + FollowCase(QStringLiteral(".dbt"), ext);
}

QByteArray DbaseExport::EncodeFieldName(const QString& DBFFieldName)
{
    return codePagePrefix(DBFFieldName.isEmpty() ? QStringLiteral("ICON") : DBFFieldName, kFieldNameRoom,
                          "field name");
}

QByteArray DbaseExport::EncodeMemoLabel(const QString& MemoFileName)
{
    // Only the label is in the code page, not the file's own name; no
    // reader looks the memo file up by it.
    const QString name = namePart(MemoFileName);
    return codePageWithStandIns(name.chopped(ExtractFileExt(name).size()).toUpper()).left(kMemoNameRoom);
}

void DbaseExport::discard()
{
    m_failed = true;
    m_files.discard();
    m_memo = nullptr;
    m_table = nullptr;
}

void DbaseExport::fail(const QString& format, const QString& name, const QString& reason)
{
    discard();
    throw platform::InOutError(format.arg(name, reason));
}

const QString& DbaseExport::nameOf(const QFile& file) const
{
    return &file == m_memo ? m_memoFileName : m_tableFileName;
}

qint64 DbaseExport::bytesWritten() const
{
    return (m_table ? m_table->pos() : 0) + (m_memo ? m_memo->pos() : 0);
}

void DbaseExport::write(QFile& file, QByteArrayView bytes)
{
    QString reason;
    if (!platform::writeAll(file, bytes, &reason))
        fail(QStringLiteral("Cannot write file \"%1\". %2"), nameOf(file), reason);
}

void DbaseExport::create()
{
    m_begun = true;
    const QDate today = [this] {
        const QDate d = m_clock ? m_clock() : QDate();
        return d.isValid() ? d : QDate::currentDate();
    }();

    QByteArray head(kHeaderLength, '\0');
    char* h = head.data();
    h[0] = static_cast<char>(0x8B);
    h[1] = static_cast<char>((today.year() - 1900) & 0xFF);
    h[2] = static_cast<char>(today.month());
    h[3] = static_cast<char>(today.day());
    // Offset 4: the record count, written by finish().
    platform::putLe16(h + 8, kHeaderLength);
    platform::putLe16(h + 10, kRecordLength);
    h[29] = 0x1B;
    char* field = h + 32;
    std::copy(m_fieldName.cbegin(), m_fieldName.cend(), field);
    field[11] = 'B';
    platform::putLe32(field + 12, 1);
    field[16] = kMemoRefLength;
    h[64] = 0x0D;

    QByteArray memoHead(kBlockSize, '\0');
    char* m = memoHead.data();
    // Offset 0: the next free block, written by finish().
    std::copy(m_memoLabel.cbegin(), m_memoLabel.cend(), m + 8);
    platform::putLe16(m + 20, kBlockSize);

    QString reason;
    m_table = m_files.create(m_tableFileName, &reason);
    if (!m_table)
        fail(QStringLiteral("Cannot create file \"%1\". %2"), m_tableFileName, reason);
    write(*m_table, head);
    m_memo = m_files.create(m_memoFileName, &reason);
    if (!m_memo)
        fail(QStringLiteral("Cannot create file \"%1\". %2"), m_memoFileName, reason);
    write(*m_memo, memoHead);
    m_memoSize = kBlockSize;
}

void DbaseExport::addIcon(int Index, QByteArrayView Data)
{
    // Once an error stopped the export, nothing more is written.
    if (m_failed || (m_begun && !m_table))
        fail(QStringLiteral("Cannot write file \"%1\".%2"), m_tableFileName);
    // An empty memo would stand in the table as if it were the icon.
    if (Data.isEmpty()) {
        discard();
        throw platform::Error(QStringLiteral("Icon %1 could not be encoded for \"%2\".")
                                  .arg(qint64 {Index} + 1)
                                  .arg(m_tableFileName));
    }
    const uint64_t length = uint64_t(Data.size()) + 8;
    const uint64_t padded = (length + kBlockSize - 1) / kBlockSize * kBlockSize;
    if (length > std::numeric_limits<uint32_t>::max()
        || (std::max(m_memoSize, kBlockSize) + padded) / kBlockSize > std::numeric_limits<uint32_t>::max())
        fail(QStringLiteral("Cannot write file \"%1\": the memo file is full.%2"), m_memoFileName);
    if (!m_begun)
        create();

    const uint64_t block = m_memoSize / kBlockSize;
    QByteArray memoHead(8, '\0');
    memoHead[0] = static_cast<char>(0xFF);
    memoHead[1] = static_cast<char>(0xFF);
    memoHead[2] = 0x08;
    platform::putLe32(memoHead.data() + 4, static_cast<uint32_t>(length));
    write(*m_memo, memoHead);
    write(*m_memo, Data);
    write(*m_memo, QByteArray(static_cast<qsizetype>(padded - length), '\0'));
    m_memoSize += padded;

    QByteArray record(kRecordLength, '\0');
    record[0] = 0x20;
    const QByteArray digits = QByteArray::number(static_cast<qulonglong>(block));
    std::copy(digits.cbegin(), digits.cend(), record.data() + 1);
    write(*m_table, record);
    ++m_recordCount;
}

void DbaseExport::finish()
{
    if (!m_table || !m_memo)
        return;
    write(*m_table, QByteArrayView("\x1A", 1));
    // Written out first, so that a full disk is said as such and not as a
    // failed seek.
    QString reason;
    for (QFile* file : {m_memo, m_table})
        if (!platform::flushAll(*file, &reason))
            fail(QStringLiteral("Cannot write file \"%1\". %2"), nameOf(*file), reason);
    if (!m_table->seek(4))
        fail(QStringLiteral("Cannot write file \"%1\". %2"), m_tableFileName, m_table->errorString());
    write(*m_table, le32(static_cast<uint32_t>(m_recordCount)));
    if (!m_memo->seek(0))
        fail(QStringLiteral("Cannot write file \"%1\". %2"), m_memoFileName, m_memo->errorString());
    write(*m_memo, le32(static_cast<uint32_t>(m_memoSize / kBlockSize)));
    m_table = m_memo = nullptr;
    QString failed;
    if (!m_files.commit(&failed, &reason))
        fail(QStringLiteral("Cannot write file \"%1\". %2"), failed, reason);
}
