// TEMP: replaced by the PDF export on merge
#include "app/PdfExport.h"

#include "kxCommon/kxFileUtils.h"
#include "platform/Exceptions.h"

#include <QFileInfo>

PdfExport::PdfExport(const QString& DestDir, const QString& DestFileName, bool, bool)
    : m_documentFileName(DocumentFileName(DestDir, DestFileName))
{
}

PdfExport::~PdfExport() = default;

QString PdfExport::DocumentFileName(const QString& DestDir, const QString& DestFileName)
{
    return AddBackslash(DestDir) + QFileInfo(DestFileName).fileName();
}

const QString& PdfExport::documentFileName() const { return m_documentFileName; }

void PdfExport::addIcon(int, const platform::Bitmap&)
{
    throw platform::Error(QStringLiteral("PDF export is not available"));
}

void PdfExport::finish()
{
    throw platform::Error(QStringLiteral("PDF export is not available"));
}

bool PdfExport::documentCreated() const { return false; }
