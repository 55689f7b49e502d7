#pragma once
// TEMP: replaced by the PDF export on merge

#include "platform/Bitmap.h"

#include <QString>

class PdfExport {
public:
    PdfExport(const QString& DestDir, const QString& DestFileName, bool IncludeNumbers, bool DrawBorders);
    ~PdfExport();
    static QString DocumentFileName(const QString& DestDir, const QString& DestFileName);
    const QString& documentFileName() const;
    void addIcon(int Index, const platform::Bitmap& Picture);
    void finish();
    bool documentCreated() const;

private:
    QString m_documentFileName;
};
