#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

// Where a window of `size` opens beside a main window whose frame is `main`, on a screen whose
// free area is `area`: on its right, else on its left, else as far right as the screen lets;
// never off the screen.
QPoint besidePosition(const QRect& main, const QSize& size, const QRect& area);

// The places and sizes of the program's own windows (the Scan Log, Test Codes, Diagnose, Find
// Settings), kept between runs in "windows.ini" in the given folder. The file is read only when it
// is a regular file (never a link, FIFO or device), and written by renaming a new file into
// place, never through a link; trouble with it only means the windows open beside the main
// window again.
class WindowPlaces {
public:
    explicit WindowPlaces(QString folder);

    // Puts `window` where it was when it was last closed (Qt keeps it on a screen), else beside
    // `mainWindow`; from now on its place is remembered whenever it is hidden.
    void place(QWidget* window, QWidget* mainWindow);

    QString path() const;

private:
    class Keeper;
    QString folder_;
};
