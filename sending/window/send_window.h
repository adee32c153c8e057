#pragma once

#include "sending/model/saved_commands.h"
#include "sending/model/send_entry.h"

#include <QByteArray>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace port {
class PortControl;
}
namespace ui {
class FileChooser;
class Prompts;
} // namespace ui

namespace sending {

// Sends what the person asks for through the port's output, as typed keys go: an entry of text
// or hexadecimal bytes (with a history), saved commands kept in a file between runs, the entry
// again at an interval, a file's bytes paced by the port's output, and a reply after each scan.
class SendWindow final : public QWidget {
    Q_OBJECT

public:
    // The history keeps this many entries, newest first.
    static constexpr int HistorySize = 50;
    // A file is handed to the port in pieces, never more waiting there than this.
    static constexpr int FileInFlight = 4096;
    static constexpr int FilePaceMs = 10;
    static constexpr qint64 MaxFileBytes = qint64(64) << 20;
    static constexpr int MinRepeatMs = 50;
    static constexpr int MaxRepeatMs = 60'000;

    // Saved commands live in `commandsPath`.
    SendWindow(port::PortControl& port, ui::FileChooser& files, ui::Prompts& prompts,
               QString commandsPath, QWidget* parent = nullptr);
    ~SendWindow() override;

    // Shows sent text in the main view as typed keys are shown, when local echo is on.
    void setEcho(std::function<void(const QString&)> echo) { echo_ = std::move(echo); }

    // A scan from the port ended: sends the reply when that is asked for. True when it went out.
    bool scanEnded();

    // Sends the entry as it stands (the Send button); false when nothing went out.
    bool sendEntry();
    // Sends the file at `path`, paced; the Send File button asks for it.
    void sendFile(const QString& path);

    const QList<SavedCommand>& commands() const { return commands_; }
    bool repeating() const { return repeat_.isActive(); }
    bool sendingFile() const { return filePace_.isActive(); }

private:
    void buildWidgets();
    // Sends `bytes` through the port; the port's refusal is shown, and false returned.
    bool sendBytes(const QByteArray& bytes);
    std::optional<QByteArray> parsedEntry();
    void sendNowClicked();
    void repeatTick();
    void updateRepeat();
    void fileTick();
    void endFile(const QString& status);
    void saveCommandClicked();
    void deleteCommandClicked();
    void sendSaved(int row);
    void loadCommands();
    void storeCommands();
    void showCommands();
    void showStatus(const QString& text);
    void showProblem(const QString& text);
    SendAs sendAs() const;

    port::PortControl& port_;
    ui::FileChooser& files_;
    ui::Prompts& prompts_;
    QString commandsPath_;
    std::function<void(const QString&)> echo_;
    QList<SavedCommand> commands_;

    QComboBox* sendText_ = nullptr;
    QComboBox* sendAs_ = nullptr;
    QPushButton* sendNow_ = nullptr;
    QLabel* problem_ = nullptr;
    QListWidget* saved_ = nullptr;
    QPushButton* saveCommand_ = nullptr;
    QPushButton* deleteCommand_ = nullptr;
    QSpinBox* repeatEvery_ = nullptr;
    QPushButton* sendFile_ = nullptr;
    QProgressBar* fileProgress_ = nullptr;
    QPushButton* cancelFile_ = nullptr;
    QCheckBox* replyToScans_ = nullptr;
    QLineEdit* replyText_ = nullptr;
    QLabel* status_ = nullptr;

    QTimer repeat_;
    QByteArray repeatBytes_;
    QTimer filePace_;
    QByteArray fileBytes_;
    QString fileName_;
    qint64 fileSent_ = 0;
};

} // namespace sending
