#pragma once

#include "base/result.h"

#include <QString>

#include <functional>

class QPdfWriter;

namespace test_codes {

// Writes a PDF file whole or not at all. QPdfWriter says nothing when a write fails (a full disk
// leaves half a file, an unwritable one an empty file), so the PDF is written to a new file in
// the target's folder, checked (every write taken, something written, closed without error) and
// only then renamed into place; on any failure the target is left as it was and the system's
// reason is given. Only a regular file (or none) is replaced: never a FIFO, a device or a folder.
// `paint` sets the writer up and paints into it; false: it could not, and nothing is written.
base::Status<QString> writePdfFile(const QString& path,
                                   const std::function<bool(QPdfWriter&)>& paint);

} // namespace test_codes
