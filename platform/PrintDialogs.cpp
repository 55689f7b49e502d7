#include "platform/PrintDialogs.h"

#include "platform/ToolkitSettings.h"

#include <QPrintDialog>
#include <QPrinter>

namespace platform {

namespace {

std::shared_ptr<PrinterChooser>& current()
{
    static std::shared_ptr<PrinterChooser> chooser = std::make_shared<DesktopPrinterChooser>();
    return chooser;
}

}  // namespace

bool DesktopPrinterChooser::choose(QWidget* parent, QPrinter& printer)
{
    // The dialog's browse button for a file to print to opens the toolkit's
    // file dialog, out of reach: held from before the dialog is made until
    // it is gone. The main window waits meanwhile and opens no store.
    const ToolkitSettingsAway away;
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool PdfPrinterChooser::choose(QWidget*, QPrinter& printer)
{
    ++asked;
    if (!accept_)
        return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(fileName_);
    return true;
}

PrinterChooser& printerChooser() { return *current(); }

void setPrinterChooser(std::shared_ptr<PrinterChooser> chooser)
{
    current() = chooser ? std::move(chooser) : std::make_shared<DesktopPrinterChooser>();
}

}  // namespace platform
