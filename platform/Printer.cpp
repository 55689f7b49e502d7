#include "platform/Printer.h"

#include <QPrinter>

#include <stdexcept>

namespace platform {

Printer::Printer(QPrinter& device) : device_(device) {}

Printer::~Printer()
{
    if (painter_.isActive())
        painter_.end();
}

void Printer::beginDoc()
{
    if (painter_.isActive())
        throw std::runtime_error("Printing in progress");
    if (!painter_.begin(&device_))
        throw std::runtime_error("Printer selected is not valid");
}

void Printer::endDoc()
{
    if (!painter_.isActive())
        throw std::runtime_error("Printer is not currently printing");
    if (!painter_.end() || device_.printerState() == QPrinter::Error)
        throw std::runtime_error("Printing failed");
}

int Printer::pageWidth() const { return device_.width(); }
int Printer::pageHeight() const { return device_.height(); }
int Printer::pixelsPerInchX() const { return device_.logicalDpiX(); }
int Printer::pixelsPerInchY() const { return device_.logicalDpiY(); }

}  // namespace platform
