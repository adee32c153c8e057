#pragma once

#include <QByteArray>
#include <QString>

namespace base {

// Text that comes from outside the program (scans, device and process names, USB strings,
// paths) shown so that it reads as what it is. Qt takes a tooltip, a label or a message box for
// rich text as soon as the text merely looks like HTML, and a right-to-left override or a line
// break inside a name reorders or cuts the sentence around it. Every place that shows such text
// goes through these.
namespace outside_text {

// `text` with every character that could hide or reorder what stands around it written
// visibly: line breaks, tabs and other control characters as \n, \r, \t, \x1B; bidirectional
// controls, zero-width characters and line separators as \u202E (beyond U+FFFF \U000E0001); the
// backslash as \\, so that the result reads back unambiguously (fromVisible).
QString visible(const QString& text);

// The text whose visible form is `shown`: every escape that visible() writes read back, anything
// else as it stands (a backslash that escapes nothing stands for itself).
QString fromVisible(const QString& shown);

// The same for bytes that are meant to be UTF-8 (file names, device paths): valid UTF-8 as its
// characters, every other byte as \xFF.
QString visible(const QByteArray& bytes);

// A tooltip that shows `plain` literally, however much it looks like HTML: escaped and marked
// as rich text, so that Qt does not guess. Line breaks in `plain` stay line breaks.
QString toolTip(const QString& plain);

} // namespace outside_text

} // namespace base
