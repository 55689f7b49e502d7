#pragma once
// The toolkit printer over a QPrinter: a document is begun and ended, and
// between the two its canvas paints on the current page in device pixels,
// origin at the top left of the printable area.

#include <QPainter>

class QPrinter;

namespace platform {

class Printer {
public:
    explicit Printer(QPrinter& device);  // the device outlives the printer
    ~Printer();
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;

    // Throws when the device cannot be opened (no printer, output file not writable).
    void beginDoc();
    // Sends the page; throws when the device reports a failure.
    void endDoc();
    bool printing() const { return painter_.isActive(); }

    QPainter& canvas() { return painter_; }
    QPrinter& device() { return device_; }
    // The printable area in device pixels.
    int pageWidth() const;
    int pageHeight() const;
    int pixelsPerInchX() const;
    int pixelsPerInchY() const;

private:
    QPrinter& device_;
    QPainter painter_;
};

}  // namespace platform
