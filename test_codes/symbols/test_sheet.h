#pragma once

#include "base/result.h"

#include <QPageSize>
#include <QRectF>
#include <QString>

#include <cstddef>
#include <optional>
#include <vector>

class QPagedPaintDevice;

namespace test_codes {

// Why the sheet was not written.
struct SheetFailure {
    enum class Kind { CannotWrite, NotEncoded } kind;
    QString path;   // the file, as given
    QString detail; // the system's reason, or the code that could not be encoded and why
};

// Where a code stands on the sheet: its page (from 0) and its symbol's rectangle in millimetres
// from the page's top left corner, quiet zones included.
struct Placement {
    std::size_t code; // index into testCodes()
    int page;
    QRectF millimetres;
};

struct SheetLayout {
    std::vector<Placement> placements;
    int pages = 0;
};

// Paints every test code on the device's pages, each with its symbology name and the content a
// scanner should send beside it, at print sizes (1D bars of 0.33 mm a module where the page
// allows). Returns the failure of the first code the encoder refused, after painting the rest.
base::Result<SheetLayout, SheetFailure> paintTestSheet(QPagedPaintDevice& device);

// Writes the sheet as a PDF file of the given paper size, whole or not at all (writePdfFile).
base::Result<SheetLayout, SheetFailure> writeTestSheet(const QString& path,
                                                       QPageSize::PageSizeId paper = QPageSize::A4);

} // namespace test_codes
