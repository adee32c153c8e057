#pragma once

#include <QString>
#include <QStringView>

namespace views {

class TextView;

// Codes of a received block for the hexadecimal view: per character its code in upper-case hex
// without leading zeros, then "h " ("0h ", "Dh ", "41h ", "FFh "). Never a line break. A
// character above U+00FF cannot come from the port; it renders its full code ("100h ").
QString hexRendering(QStringView block);

// Adds text at the end of the view the way a terminal would show it. A backspace erases the
// character before it in text; one that has nothing before it in text erases the view's last
// character (at most one per call). Line feeds are dropped, and every carriage return becomes a
// CR LF line break. text is filtered in place.
//
// The view is kept bounded: while it holds 16384 characters or more, its first 4096 are dropped
// before anything is added, so it never holds more than 16383 characters plus one block.
void AppendToView(TextView& view, QString& text);

} // namespace views
