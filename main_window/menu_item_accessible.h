#pragma once

namespace main_window {

// Lets screen readers hear the menu items' tooltips as their descriptions (why the RTS item is
// disabled under RTS/CTS flow control, what a property is for) and whether a check item can be
// checked, besides what Qt tells of a menu item. Safe to call any number of times.
void installMenuItemAccessibility();

} // namespace main_window
