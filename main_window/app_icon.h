#pragma once

#include <QIcon>

namespace main_window {

// The program's window icon, drawn at 16 and 32 pixels: a barcode under a scan line.
QIcon appIcon();

} // namespace main_window
