#include "sending/window/send_window.h"

#include "base/outside_text.h"
#include "base/regular_file.h"
#include "port/port_control.h"
#include "sending/window/send_texts.h"
#include "ui/accessible_window.h"
#include "ui/failure_text.h"
#include "ui/file_chooser.h"
#include "ui/prompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace sending {

namespace {

// The commands file is small; anything larger is not ours.
constexpr qint64 MaxCommandsBytes = 1 << 20;

QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

SendWindow::SendWindow(port::PortControl& port, ui::FileChooser& files, ui::Prompts& prompts,
                       QString commandsPath, QWidget* parent)
    : QWidget(parent, Qt::Window), port_(port), files_(files), prompts_(prompts),
      commandsPath_(std::move(commandsPath)) {
    ui::announceAsWindow(this);
    setObjectName(QStringLiteral("Send"));
    setWindowTitle(sendWindowTitle());
    buildWidgets();
    repeat_.setParent(this);
    connect(&repeat_, &QTimer::timeout, this, &SendWindow::repeatTick);
    filePace_.setParent(this);
    filePace_.setInterval(FilePaceMs);
    connect(&filePace_, &QTimer::timeout, this, &SendWindow::fileTick);
    loadCommands();
}

SendWindow::~SendWindow() = default;

void SendWindow::buildWidgets() {
    auto* layout = new QVBoxLayout(this);

    auto* entryRow = new QHBoxLayout;
    sendText_ = new QComboBox(this);
    sendText_->setObjectName(QStringLiteral("SendText"));
    sendText_->setEditable(true);
    sendText_->setInsertPolicy(QComboBox::NoInsert);
    sendText_->setMaxCount(HistorySize);
    sendText_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    sendText_->setAccessibleName(QStringLiteral("What to send"));
    sendText_->setToolTip(QStringLiteral(
        "Text: characters as they are, with \\r, \\n, \\t, \\\\, \\xHH and the Scan Log's names "
        "such as <CR>, <SYN>, <e9> (<< for \"<\"). Hex: pairs of digits, as in 16 54 0d."));
    sendAs_ = new QComboBox(this);
    sendAs_->setObjectName(QStringLiteral("SendAs"));
    sendAs_->addItems({QStringLiteral("Text"), QStringLiteral("Hex")});
    sendAs_->setAccessibleName(QStringLiteral("Send as"));
    sendNow_ = new QPushButton(QStringLiteral("&Send"), this);
    sendNow_->setObjectName(QStringLiteral("SendNow"));
    entryRow->addWidget(sendText_, 1);
    entryRow->addWidget(sendAs_);
    entryRow->addWidget(sendNow_);
    layout->addLayout(entryRow);

    problem_ = plainLabel({}, this);
    problem_->setObjectName(QStringLiteral("SendProblem"));
    problem_->setWordWrap(true);
    problem_->hide();
    layout->addWidget(problem_);

    auto* savedBox = new QGroupBox(QStringLiteral("Saved commands"), this);
    auto* savedLayout = new QHBoxLayout(savedBox);
    saved_ = new QListWidget(savedBox);
    saved_->setObjectName(QStringLiteral("SavedCommands"));
    saved_->setAccessibleName(QStringLiteral("Saved commands"));
    saved_->setToolTip(QStringLiteral("Double-click a command to send it."));
    auto* savedButtons = new QVBoxLayout;
    saveCommand_ = new QPushButton(QStringLiteral("Sa&ve..."), savedBox);
    saveCommand_->setObjectName(QStringLiteral("SaveCommand"));
    saveCommand_->setToolTip(
        QStringLiteral("Keep the entry under a name, for this and later runs."));
    deleteCommand_ = new QPushButton(QStringLiteral("&Delete"), savedBox);
    deleteCommand_->setObjectName(QStringLiteral("DeleteCommand"));
    savedButtons->addWidget(saveCommand_);
    savedButtons->addWidget(deleteCommand_);
    savedButtons->addStretch();
    savedLayout->addWidget(saved_, 1);
    savedLayout->addLayout(savedButtons);
    layout->addWidget(savedBox, 1);

    auto* grid = new QGridLayout;
    auto* repeatLabel = plainLabel(QStringLiteral("&Repeat every"), this);
    repeatEvery_ = new QSpinBox(this);
    repeatEvery_->setObjectName(QStringLiteral("RepeatEvery"));
    repeatEvery_->setRange(0, MaxRepeatMs);
    repeatEvery_->setSingleStep(50);
    repeatEvery_->setSuffix(QStringLiteral(" ms"));
    repeatEvery_->setSpecialValueText(QStringLiteral("off"));
    // Taken when the person has finished typing it: 1 to 49 ms become the shortest, 50.
    repeatEvery_->setKeyboardTracking(false);
    repeatEvery_->setToolTip(QStringLiteral(
        "Sends the entry again at this interval (50 to 60,000 ms) from the next Send on, until "
        "it is set to off or the port closes."));
    repeatLabel->setBuddy(repeatEvery_);
    grid->addWidget(repeatLabel, 0, 0);
    grid->addWidget(repeatEvery_, 0, 1);

    sendFile_ = new QPushButton(QStringLiteral("Send &File..."), this);
    sendFile_->setObjectName(QStringLiteral("SendFile"));
    fileProgress_ = new QProgressBar(this);
    fileProgress_->setObjectName(QStringLiteral("SendFileProgress"));
    fileProgress_->setAccessibleName(QStringLiteral("File sent"));
    fileProgress_->setRange(0, 1000);
    fileProgress_->setValue(0);
    cancelFile_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelFile_->setObjectName(QStringLiteral("SendFileCancel"));
    cancelFile_->setEnabled(false);
    grid->addWidget(sendFile_, 1, 0);
    grid->addWidget(fileProgress_, 1, 1);
    grid->addWidget(cancelFile_, 1, 2);

    replyToScans_ = new QCheckBox(QStringLiteral("Reply to each &scan with"), this);
    replyToScans_->setObjectName(QStringLiteral("ReplyToScans"));
    replyToScans_->setToolTip(QStringLiteral(
        "Sends the reply as soon as a scan ends (at its terminator or the silence), as a "
        "scanner in packet mode waits for. The Scan Log marks the scans answered."));
    replyText_ = new QLineEdit(QStringLiteral("<ACK>"), this);
    replyText_->setObjectName(QStringLiteral("ReplyText"));
    replyText_->setAccessibleName(QStringLiteral("Reply"));
    grid->addWidget(replyToScans_, 2, 0);
    grid->addWidget(replyText_, 2, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    status_ = plainLabel({}, this);
    status_->setObjectName(QStringLiteral("SendStatus"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(status_);

    connect(sendNow_, &QPushButton::clicked, this, &SendWindow::sendNowClicked);
    connect(sendText_->lineEdit(), &QLineEdit::returnPressed, this, &SendWindow::sendNowClicked);
    connect(sendText_, &QComboBox::editTextChanged, problem_, &QLabel::hide);
    connect(saveCommand_, &QPushButton::clicked, this, &SendWindow::saveCommandClicked);
    connect(deleteCommand_, &QPushButton::clicked, this, &SendWindow::deleteCommandClicked);
    connect(saved_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { sendSaved(saved_->row(item)); });
    connect(repeatEvery_, &QSpinBox::valueChanged, this, &SendWindow::updateRepeat);
    connect(sendFile_, &QPushButton::clicked, this, [this] {
        const QString path = files_.openFileName(this, sendFileCaption(), QDir::homePath());
        if (!path.isEmpty())
            sendFile(path);
    });
    connect(cancelFile_, &QPushButton::clicked, this,
            [this] { endFile(fileCancelledText(fileSent_, fileBytes_.size())); });
}

SendAs SendWindow::sendAs() const {
    return sendAs_->currentIndex() == 1 ? SendAs::Hex : SendAs::Text;
}

void SendWindow::showStatus(const QString& text) {
    status_->setText(text);
}

void SendWindow::showProblem(const QString& text) {
    problem_->setText(text);
    problem_->setVisible(!text.isEmpty());
}

bool SendWindow::sendBytes(const QByteArray& bytes) {
    QString failure;
    const QString text = QString::fromLatin1(bytes);
    if (!ui::trapStep(failure, [this, &text] { port_.setOutput(text); })) {
        showProblem(failure);
        return false;
    }
    if (echo_)
        echo_(text);
    return true;
}

std::optional<QByteArray> SendWindow::parsedEntry() {
    const auto parsed = parseEntry(sendText_->currentText(), sendAs());
    if (!parsed) {
        showProblem(entryErrorText(parsed.error(), sendAs()));
        return std::nullopt;
    }
    return parsed.value();
}

bool SendWindow::sendEntry() {
    const std::optional<QByteArray> bytes = parsedEntry();
    if (!bytes || !sendBytes(*bytes))
        return false;
    showProblem({});
    showStatus(sentText(*bytes));
    // Newest first, each once.
    const QString entry = sendText_->currentText();
    const int as = sendAs_->currentIndex();
    if (const int kept = sendText_->findText(entry); kept >= 0)
        sendText_->removeItem(kept);
    sendText_->insertItem(0, entry);
    sendText_->setCurrentIndex(0);
    sendAs_->setCurrentIndex(as);
    return true;
}

void SendWindow::sendNowClicked() {
    if (!sendEntry()) {
        repeat_.stop();
        return;
    }
    repeatBytes_ = *parseEntry(sendText_->currentText(), sendAs());
    updateRepeat();
}

void SendWindow::updateRepeat() {
    const int every = repeatEvery_->value();
    if (every > 0 && every < MinRepeatMs) {
        repeatEvery_->setValue(MinRepeatMs); // comes back here
        return;
    }
    if (every == 0 || repeatBytes_.isEmpty()) {
        repeat_.stop();
        return;
    }
    repeat_.start(every);
}

void SendWindow::repeatTick() {
    if (!port_.PortOpen()) {
        // Once, not a message a tick.
        repeat_.stop();
        repeatBytes_.clear();
        showStatus(repeatStoppedText());
        return;
    }
    if (!sendBytes(repeatBytes_)) {
        repeat_.stop();
        repeatBytes_.clear();
    }
}

bool SendWindow::scanEnded() {
    if (!replyToScans_->isChecked())
        return false;
    if (!port_.PortOpen())
        return false;
    const auto parsed = parseEntry(replyText_->text(), SendAs::Text);
    if (!parsed) {
        showStatus(replyText(entryErrorText(parsed.error(), SendAs::Text)));
        return false;
    }
    return sendBytes(parsed.value());
}

// --- a file ---

void SendWindow::sendFile(const QString& path) {
    if (filePace_.isActive())
        endFile(fileCancelledText(fileSent_, fileBytes_.size()));
    // The file the person chose: a link to it is followed, then it must be a regular file.
    const QString target = QFileInfo(path).canonicalFilePath();
    const auto read = base::readRegularFile(target.isEmpty() ? path : target, MaxFileBytes);
    if (!read) {
        showProblem(fileUnreadableText(path, read.error()));
        return;
    }
    if (read.value().isEmpty()) {
        showProblem(fileUnreadableText(
            path, {base::FileProblem::Kind::Unreadable, QStringLiteral("it is empty")}));
        return;
    }
    if (!port_.PortOpen()) {
        // The port's own sentence, as for any send while it is closed.
        QString failure;
        ui::trapStep(failure, [this] { port_.setOutput({}); });
        showProblem(failure);
        return;
    }
    showProblem({});
    fileBytes_ = read.value();
    fileName_ = QFileInfo(path).fileName();
    fileSent_ = 0;
    fileProgress_->setValue(0);
    cancelFile_->setEnabled(true);
    sendFile_->setEnabled(false);
    filePace_.start();
    fileTick();
}

void SendWindow::fileTick() {
    if (!filePace_.isActive())
        return;
    const qint64 total = fileBytes_.size();
    if (!port_.PortOpen()) {
        endFile(fileStoppedText(fileSent_, total, QStringLiteral("the port is closed.")));
        return;
    }
    if (fileSent_ >= total) {
        // Done once the port has passed the last piece on.
        if (port_.OutBufferCount() == 0)
            endFile(fileSentText(fileName_, total));
        return;
    }
    const int waiting = port_.OutBufferCount();
    if (waiting > FileInFlight / 2)
        return;
    const qint64 piece = std::min<qint64>(FileInFlight - waiting, total - fileSent_);
    QString failure;
    const QString text = QString::fromLatin1(fileBytes_.constData() + fileSent_, piece);
    if (!ui::trapStep(failure, [this, &text] { port_.setOutput(text); })) {
        endFile(fileStoppedText(fileSent_, total, failure));
        return;
    }
    fileSent_ += piece;
    fileProgress_->setValue(int(fileSent_ * 1000 / total));
    showStatus(fileProgressText(fileSent_, total));
}

void SendWindow::endFile(const QString& status) {
    filePace_.stop();
    fileBytes_.clear();
    cancelFile_->setEnabled(false);
    sendFile_->setEnabled(true);
    showStatus(status);
}

// --- saved commands ---

void SendWindow::loadCommands() {
    const auto read = base::readRegularFile(commandsPath_, MaxCommandsBytes);
    if (!read) {
        showStatus(commandsFileText(commandsPath_, read.error(), false));
        return;
    }
    commands_ = parseCommands(read.value()).commands;
    showCommands();
}

void SendWindow::storeCommands() {
    QDir().mkpath(QFileInfo(commandsPath_).path());
    if (const auto stored = base::replaceRegularFile(commandsPath_, formatCommands(commands_));
        !stored)
        showStatus(commandsFileText(commandsPath_, stored.error(), true));
}

void SendWindow::showCommands() {
    saved_->clear();
    for (const SavedCommand& command : commands_) {
        auto* item = new QListWidgetItem(base::outside_text::visible(command.name) +
                                             QStringLiteral("  —  ") +
                                             base::outside_text::visible(command.entry),
                                         saved_);
        item->setToolTip(base::outside_text::toolTip(
            (command.as == SendAs::Hex ? QStringLiteral("Hex: ") : QStringLiteral("Text: ")) +
            command.entry));
    }
}

void SendWindow::saveCommandClicked() {
    // Only what could be sent is kept.
    if (!parsedEntry())
        return;
    const std::optional<QString> name =
        prompts_.inputBox(commandNamePrompt(), commandNameTitle(), {});
    if (!name || name->trimmed().isEmpty())
        return;
    commands_ =
        withCommand(commands_, SavedCommand{name->trimmed(), sendAs(), sendText_->currentText()});
    storeCommands();
    showCommands();
}

void SendWindow::deleteCommandClicked() {
    const int row = saved_->currentRow();
    if (row < 0 || row >= commands_.size())
        return;
    commands_.removeAt(row);
    storeCommands();
    showCommands();
}

void SendWindow::sendSaved(int row) {
    if (row < 0 || row >= commands_.size())
        return;
    const SavedCommand& command = commands_.at(row);
    sendText_->setEditText(command.entry);
    sendAs_->setCurrentIndex(command.as == SendAs::Hex ? 1 : 0);
    sendNowClicked();
}

} // namespace sending
