#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

namespace ui {

// Where a window opens beside a main window whose frame is `main`, on a screen whose free area
// is `area`; every size and place here is of frames, decorations included. The window wants
// `wanted` and can do with no less than `minimum`. It goes on the right, else on the left, where
// it fits; where it does not fit whole, it shrinks to the room of the roomier side; where not even
// its minimum fits beside, it keeps to the roomier side's screen edge, covering as little of the
// main window as it can. It never leaves the area. A window that would cover another open window
// of the program (`others`) wholly, or up to its title bar, is cascaded down and to the right.
QRect besideFrame(const QRect& main, const QSize& wanted, const QSize& minimum, const QRect& area,
                  const QList<QRect>& others = {});

// Where a window of `size` opens beside the main window: besideFrame for a window that cannot
// shrink.
QPoint besidePosition(const QRect& main, const QSize& size, const QRect& area);

// A saved frame brought onto `area`: the size no larger than the area (nor below `minimum`
// where the area allows), the place moved so the whole frame lies on it.
QRect fittedFrame(const QRect& saved, const QSize& minimum, const QRect& area);

// The places and sizes of the program's own windows (the Scan Log, Test Codes, Diagnose, Find
// Settings), kept between runs in "windows.ini" in the given folder. The file is read only when it
// is a regular file (never a link, FIFO or device), and written by renaming a new file into
// place, never through a link; trouble with it only means the windows open beside the main
// window again.
class WindowPlaces {
public:
    explicit WindowPlaces(QString folder);

    // Puts `window` where it was when it was last closed, brought onto the screen it would open
    // on, else beside `mainWindow` clear of the `others` that are shown; from now on its place is
    // remembered whenever it is hidden.
    void place(QWidget* window, QWidget* mainWindow, const QList<QWidget*>& others = {});

    QString path() const;

private:
    class Keeper;
    QString folder_;
};

} // namespace ui
