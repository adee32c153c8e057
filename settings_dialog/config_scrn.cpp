#include "settings_dialog/config_scrn.h"

#include "main_window/form1.h"
#include "main_window/twips.h"

ConfigScrn::ConfigScrn(Form1 &form) : QDialog(nullptr), form_(form) {
  setObjectName(QStringLiteral("ConfigScrn"));
  setWindowTitle(QStringLiteral("Communication Settings"));
  setModal(false);
  setFixedSize(twipsToPixels(5880), twipsToPixels(5730));
}

ConfigScrn::~ConfigScrn() = default;

void ConfigScrn::showDialog() {
  if (!isVisible()) {
    // Beside the main window, not over it.
    const QRect main = form_.frameGeometry();
    move(main.right() + 8, main.top());
    show();
  }
  raise();
  activateWindow();
}
