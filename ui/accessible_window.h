#pragma once

class QWidget;

namespace ui {

// Makes a window built on a plain QWidget a window to screen readers, named by its title (Qt
// reads such a widget as a "filler" otherwise). Called first thing in the window's constructor.
void announceAsWindow(QWidget* window);

} // namespace ui
