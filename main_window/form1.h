#pragma once

#include <QMainWindow>

#include <array>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class Clock;
class ConfigScrn;
class LineControl;
class PortControl;
class Prompts;
class RichTextBox;
class Shape;

// The main window: two data views, the buttons, the modem-line lamps, the
// status line and the menus, and the one serial port it owns for the whole run.
class Form1 : public QMainWindow {
  Q_OBJECT

public:
  // The window with the real serial port and Qt's dialogs.
  Form1();
  // The window with the given port, prompts and clock (tests hand in doubles).
  Form1(std::unique_ptr<PortControl> port, std::unique_ptr<Prompts> prompts,
        std::unique_ptr<Clock> clock);
  ~Form1() override;

  PortControl &MSComm1() const { return *port_; }
  Prompts &prompts() const { return *prompts_; }

  RichTextBox &Term() const { return *term_; }
  RichTextBox &TermHex() const { return *termHex_; }
  QPushButton &cmdOPEN() const { return *cmdOpen_; }
  QPushButton &cmdConfig() const { return *cmdConfig_; }
  QAction &MOpen() const { return *mOpen_; }
  Shape &shapeMSCommPins(int index) const { return *lamps_.at(index); }
  LineControl &Line(int number) const { return *lines_.at(number - 1); }

  // The settings dialog, once it has been shown (null before).
  ConfigScrn *configScrn() const { return config_.get(); }

  // Runs a handler; a failure that escapes it is shown in a warning box and the
  // program goes on.
  template <typename Handler> void guarded(Handler &&handler);

  // Handlers of the window and its buttons.
  void Form_Resize();
  void Form_Unload(bool &cancel);
  void cmdClear_Click();
  void cmdConfig_Click();
  void MSettings_Click();

  // Milliseconds between two polls of the output count in the close wait: short
  // enough that the window reacts at once when the output has drained, long
  // enough not to burn a core.
  static constexpr int CloseWaitPollMs = 20;

protected:
  void showEvent(QShowEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void closeEvent(QCloseEvent *event) override;

private:
  void buildForm();
  void buildMenus();
  void showSettingsDialog();
  void reportEscapedFailure(const QString &text);

  std::unique_ptr<PortControl> port_;
  std::unique_ptr<Prompts> prompts_;
  std::unique_ptr<Clock> clock_;
  // The dialog is a window of its own (it outlives this window's closing) and
  // lives until the program ends.
  std::unique_ptr<ConfigScrn> config_;

  QPushButton *cmdConfig_ = nullptr;
  QPushButton *cmdOpen_ = nullptr;
  QPushButton *cmdClear_ = nullptr;
  RichTextBox *term_ = nullptr;
  RichTextBox *termHex_ = nullptr;
  QLabel *label1_ = nullptr;
  QLabel *label2_ = nullptr;
  std::array<LineControl *, 3> lines_{};
  std::array<QLabel *, 8> pinLabels_{};
  // Index 0 stays empty: the lamps are numbered 1 to 9.
  std::array<Shape *, 10> lamps_{};

  QMenu *mPort_ = nullptr;
  QMenu *mProp_ = nullptr;
  QAction *mOpen_ = nullptr;
  QAction *mSettings_ = nullptr;
  QAction *mInputLen_ = nullptr;
  QAction *mRThreshold_ = nullptr;
  QAction *mSThreshold_ = nullptr;
  QAction *mParRep_ = nullptr;
  QAction *mDtrEnable_ = nullptr;
  QAction *mHcd_ = nullptr;
  QAction *mHcts_ = nullptr;
  QAction *mHdsr_ = nullptr;

  bool closing_ = false;
  bool shownBefore_ = false;
};

#include "main_window/failure_text.h"

template <typename Handler> void Form1::guarded(Handler &&handler) {
  try {
    handler();
  } catch (...) {
    reportEscapedFailure(currentFailureText());
  }
}
