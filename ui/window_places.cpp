#include "ui/window_places.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>

namespace {

constexpr int Gap = 8;

// Whether the file may be read: absent, or a regular file (not a link, a FIFO or a device,
// which QSettings would follow or block on).
bool safeToUse(const QString& path) {
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return errno == ENOENT;
    return S_ISREG(status.st_mode);
}

} // namespace

QPoint besidePosition(const QRect& main, const QSize& size, const QRect& area) {
    QPoint position(main.right() + 1 + Gap, main.top());
    if (position.x() + size.width() - 1 > area.right() &&
        main.left() - Gap - size.width() >= area.left())
        position.setX(main.left() - Gap - size.width());
    position.setX(std::clamp(position.x(), area.left(),
                             std::max(area.left(), area.right() + 1 - size.width())));
    position.setY(std::clamp(position.y(), area.top(),
                             std::max(area.top(), area.bottom() + 1 - size.height())));
    return position;
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
                QSettings settings(path_, QSettings::IniFormat);
                settings.setValue(window->objectName() + QStringLiteral("/geometry"),
                                  window->saveGeometry());
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

void WindowPlaces::place(QWidget* window, QWidget* mainWindow) {
    const QString file = path();
    bool restored = false;
    if (safeToUse(file) && QFile::exists(file)) {
        const QSettings settings(file, QSettings::IniFormat);
        const QByteArray geometry =
            settings.value(window->objectName() + QStringLiteral("/geometry")).toByteArray();
        restored = !geometry.isEmpty() && window->restoreGeometry(geometry);
    }
    if (!restored && mainWindow != nullptr) {
        const QScreen* screen = mainWindow->screen();
        const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 16, 1 << 16);
        window->move(
            besidePosition(mainWindow->frameGeometry(), window->frameGeometry().size(), area));
    }
    new Keeper(file, window);
}
