#pragma once
// The choice of a printer before printing (the common print dialog), behind
// one interface so tests print to a PDF file without a dialog.

#include <QString>

#include <memory>

class QPrinter;
class QWidget;

namespace platform {

class PrinterChooser {
public:
    virtual ~PrinterChooser() = default;
    // Sets up Printer for the user's choice; false when cancelled.
    virtual bool choose(QWidget* parent, QPrinter& printer) = 0;
};

// Qt's print dialog, which offers a PDF file when no printer is installed.
class DesktopPrinterChooser : public PrinterChooser {
public:
    bool choose(QWidget* parent, QPrinter& printer) override;
};

// For tests: every print goes to one PDF file, or is cancelled.
class PdfPrinterChooser : public PrinterChooser {
public:
    explicit PdfPrinterChooser(QString fileName, bool accept = true)
        : fileName_(std::move(fileName)), accept_(accept)
    {}
    bool choose(QWidget* parent, QPrinter& printer) override;
    int asked = 0;

private:
    QString fileName_;
    bool accept_;
};

PrinterChooser& printerChooser();
// Replaces the chooser; nullptr restores the desktop one.
void setPrinterChooser(std::shared_ptr<PrinterChooser> chooser);

}  // namespace platform
