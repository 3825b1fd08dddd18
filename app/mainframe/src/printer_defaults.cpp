#include "printer_defaults.h"

#include <QPrinter>
#include <QPrinterInfo>

PrinterDefaults::PrinterDefaults() = default;
PrinterDefaults::~PrinterDefaults() = default;

void ReadPrinterDefaults(PrinterDefaults* out) {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull() || info.printerName().isEmpty()) {
        out->available = 0;
        return;
    }
    out->available = 1;
    out->scale = 1.0;
    out->color = info.defaultColorMode() == QPrinter::Color;
    out->driver = info.makeAndModel();
    out->device = info.printerName();
    out->port = info.location();
    out->printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}
