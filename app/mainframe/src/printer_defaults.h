// Defaults of the default printer, read once after the frame is shown and
// used by screenshot printing.
#pragma once

#include <QString>
#include <memory>

class QPrinter;

struct PrinterDefaults {
    int available = 0;   // 0 when there is no default printer
    double scale = 1.0;  // print scale factor
    bool color = false;  // the printer prints in colour
    QString driver, device, port;
    std::unique_ptr<QPrinter> printer;  // set up for the default printer

    PrinterDefaults();
    ~PrinterDefaults();
};

void ReadPrinterDefaults(PrinterDefaults* out);
