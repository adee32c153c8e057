#pragma once

#include <QDialog>

class Form1;

// The "Communication Settings" dialog. It is a window of its own beside the
// main window and never blocks it.
class ConfigScrn : public QDialog {
  Q_OBJECT

public:
  explicit ConfigScrn(Form1 &form);
  ~ConfigScrn() override;

  // Shows the dialog without blocking; one that is open already only comes to
  // the front.
  void showDialog();

private:
  Form1 &form_;
};
