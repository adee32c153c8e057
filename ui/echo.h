#pragma once

#include <QtGlobal>

namespace ui {

// Local echo of typed characters: one switch for the whole program, a qint16 that main owns and
// hands by reference to the main window and the settings dialog. True is -1 and false is 0; echo
// is on only when the switch holds exactly true.
constexpr qint16 VbTrue = -1;
constexpr qint16 VbFalse = 0;

} // namespace ui
