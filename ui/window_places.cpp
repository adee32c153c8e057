#include "ui/window_places.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QSettings>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <cerrno>
#include <optional>

#include <sys/stat.h>

namespace ui {

namespace {

constexpr int Gap = 8;
// A cascaded window moves this far down and to the right of the one it would cover: its title
// bar and left edge stay in sight.
constexpr int CascadeStep = 32;
// How far into another window a title bar reaches, for the cascade.
constexpr int TitleReach = 24;

// Whether the file may be read: absent, or a regular file (not a link, a FIFO or a device,
// which QSettings would follow or block on).
bool safeToUse(const QString& path) {
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return errno == ENOENT;
    return S_ISREG(status.st_mode);
}

// `frame` moved (not resized) so that it lies on `area` as far as its size lets it.
QRect keptOn(QRect frame, const QRect& area) {
    frame.moveLeft(std::clamp(frame.left(), area.left(),
                              std::max(area.left(), area.right() + 1 - frame.width())));
    frame.moveTop(std::clamp(frame.top(), area.top(),
                             std::max(area.top(), area.bottom() + 1 - frame.height())));
    return frame;
}

// Whether `frame` would hide `other`: its title bar (more than half of it, from above) or most
// of it. A window cascaded below another's title bar leaves that title in sight.
bool covers(const QRect& frame, const QRect& other) {
    const QRect shared = frame.intersected(other);
    if (shared.isEmpty() || frame.top() > other.top() + TitleReach)
        return false;
    const qint64 sharedArea = qint64(shared.width()) * shared.height();
    const qint64 otherArea = qint64(other.width()) * other.height();
    return 2 * shared.width() >= other.width() || 2 * sharedArea >= otherArea;
}

// The area of the screen a window on `widget`'s screen may take; without a screen, no limit.
QRect availableArea(const QScreen* screen) {
    return screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1 << 16, 1 << 16);
}

// The decorations around a window, taken from the main window's (the windows of one program
// get the same from the window manager); none before the main window is shown.
QMargins marginsBetween(const QRect& frame, const QRect& client) {
    return {client.left() - frame.left(), client.top() - frame.top(),
            frame.right() - client.right(), frame.bottom() - client.bottom()};
}

QMargins decorationsOf(const QWidget* mainWindow) {
    if (mainWindow == nullptr)
        return {};
    return marginsBetween(mainWindow->frameGeometry(), mainWindow->geometry());
}

// The frame a window would have with `client` inside `decorations`.
QSize frameSize(const QSize& client, const QMargins& decorations) {
    return client.grownBy(decorations);
}

// Gives `window` the frame `frame`: a window's position is that of its frame, its size that of
// what lies inside.
void setFrame(QWidget* window, const QRect& frame, const QMargins& decorations) {
    window->resize(frame.size().shrunkBy(decorations));
    window->move(frame.topLeft());
}

} // namespace

namespace {

// The frame beside `main` on one side: where it fits whole, else shrunk to the room there,
// else at that side's screen edge with its least width.
QRect frameOnSide(bool right, const QRect& main, const QSize& size, const QSize& least,
                  const QRect& area) {
    const int rightStart = main.right() + 1 + Gap;
    const int room = right ? area.right() + 1 - rightStart : main.left() - Gap - area.left();
    QRect frame(QPoint(0, main.top()), size);
    frame.setWidth(std::clamp(room, least.width(), size.width()));
    if (room >= frame.width())
        frame.moveLeft(right ? rightStart : main.left() - Gap - frame.width());
    else
        frame.moveLeft(right ? area.right() + 1 - frame.width() : area.left());
    return keptOn(frame, area);
}

bool coversAny(const QRect& frame, const QList<QRect>& others) {
    return std::any_of(others.begin(), others.end(),
                       [&frame](const QRect& other) { return covers(frame, other); });
}

} // namespace

QRect besideFrame(const QRect& main, const QSize& wanted, const QSize& minimum, const QRect& area,
                  const QList<QRect>& others) {
    const QSize least = minimum.boundedTo(area.size());
    const QSize size = wanted.expandedTo(least).boundedTo(area.size());
    const int rightRoom = area.right() - main.right() - Gap;
    const int leftRoom = main.left() - Gap - area.left();
    // The side where it fits whole, else the roomier; the other side when that one is free and
    // the first is taken by another window.
    const bool right =
        size.width() <= rightRoom || (size.width() > leftRoom && rightRoom >= leftRoom);
    QRect frame = frameOnSide(right, main, size, least, area);
    if (coversAny(frame, others)) {
        const QRect other = frameOnSide(!right, main, size, least, area);
        if (!coversAny(other, others) && !other.intersects(main))
            frame = other;
    }
    frame = keptOn(frame, area);
    // Down and to the right of each window it would hide, as long as the area has room.
    for (int step = 0; step < 16; ++step) {
        const auto hidden =
            std::find_if(others.begin(), others.end(),
                         [&frame](const QRect& other) { return covers(frame, other); });
        if (hidden == others.end())
            break;
        QRect moved = frame.translated(hidden->left() + CascadeStep - frame.left(),
                                       hidden->top() + CascadeStep - frame.top());
        // Shrunk rather than pushed off the screen, while it can be.
        moved.setRight(
            std::min(moved.right(), std::max(area.right(), moved.left() + least.width() - 1)));
        moved.setBottom(
            std::min(moved.bottom(), std::max(area.bottom(), moved.top() + least.height() - 1)));
        moved = keptOn(moved, area);
        if (moved == frame)
            break;
        frame = moved;
    }
    return frame;
}

QPoint besidePosition(const QRect& main, const QSize& size, const QRect& area) {
    return besideFrame(main, size, size, area).topLeft();
}

QRect fittedFrame(const QRect& saved, const QSize& minimum, const QRect& area) {
    const QSize size =
        saved.size().boundedTo(area.size()).expandedTo(minimum.boundedTo(area.size()));
    return keptOn(QRect(saved.topLeft(), size), area);
}

// Writes a window's geometry into the file when the window is hidden.
class WindowPlaces::Keeper : public QObject {
public:
    Keeper(QString path, QWidget* window) : QObject(window), path_(std::move(path)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide) {
            auto* window = static_cast<QWidget*>(watched);
            if (QDir().mkpath(QFileInfo(path_).absolutePath()) && safeToUse(path_)) {
                // The frame as the window manager placed it, decorations included: put back
                // with the same rule that places a new window, it comes back where it was.
                QSettings settings(path_, QSettings::IniFormat);
                settings.setValue(window->objectName() + QStringLiteral("/frame"),
                                  window->frameGeometry());
                settings.setValue(window->objectName() + QStringLiteral("/client"),
                                  window->geometry());
            }
        }
        return false;
    }

private:
    QString path_;
};

WindowPlaces::WindowPlaces(QString folder) : folder_(std::move(folder)) {}

QString WindowPlaces::path() const {
    return folder_ + QStringLiteral("/windows.ini");
}

void WindowPlaces::place(QWidget* window, QWidget* mainWindow, const QList<QWidget*>& others) {
    const QString file = path();
    const QMargins decorations = decorationsOf(mainWindow);
    // The least a window's layout lets it be, and the size it asks for.
    const QSize minimum =
        frameSize(window->minimumSizeHint().expandedTo(window->minimumSize()), decorations);
    std::optional<QRect> saved;
    QMargins savedDecorations = decorations;
    if (safeToUse(file) && QFile::exists(file)) {
        const QSettings settings(file, QSettings::IniFormat);
        const QVariant frame = settings.value(window->objectName() + QStringLiteral("/frame"));
        const QVariant client = settings.value(window->objectName() + QStringLiteral("/client"));
        if (frame.canConvert<QRect>() && frame.toRect().isValid())
            saved = frame.toRect();
        // The decorations it had then, where they make sense.
        if (saved && client.canConvert<QRect>() && saved->contains(client.toRect()))
            savedDecorations = marginsBetween(*saved, client.toRect());
    }
    const QScreen* mainScreen = mainWindow != nullptr ? mainWindow->screen() : nullptr;
    if (saved) {
        // What was saved on another screen, or before a screen grew smaller, is brought onto the
        // screen the window opens on, never restored as it is.
        const QScreen* screen = QGuiApplication::screenAt(saved->center());
        if (screen == nullptr)
            screen = mainScreen != nullptr ? mainScreen : QGuiApplication::primaryScreen();
        setFrame(window, fittedFrame(*saved, minimum, availableArea(screen)), savedDecorations);
    } else if (mainWindow != nullptr) {
        QList<QRect> shown;
        for (const QWidget* other : others)
            if (other != nullptr && other != window && other->isVisible())
                shown << other->frameGeometry();
        const QSize wanted =
            frameSize(window->size().expandedTo(window->minimumSizeHint()), decorations);
        setFrame(window,
                 besideFrame(mainWindow->frameGeometry(), wanted, minimum,
                             availableArea(mainScreen), shown),
                 decorations);
    }
    new Keeper(file, window);
}

} // namespace ui
