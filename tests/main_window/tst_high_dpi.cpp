// The forms on a 192 dpi screen: twice the pixels, the same layout in twips.

#include "form_harness.h"
#include "settings_dialog/window/config_scrn.h"
#include "ui/twips.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

using namespace settings_dialog;
using namespace ui;
using namespace main_window;

class TestHighDpi : public QObject {
    Q_OBJECT

private slots:
    void windowAndDialogDoubleInPixels();
};

void TestHighDpi::windowAndDialogDoubleInPixels() {
    FormHarness h;
    h.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.form.get()));
    QCOMPARE(h.form->devicePixelRatioF(), 2.0);

    // Layout in device-independent pixels, so in twips, is what it is at 96 dpi: the client area
    // is 8520 by 8580 twips, and every button keeps its caption whole.
    QCOMPARE(h.form->centralWidget()->size(), QSize(568, 572));
    for (QPushButton* button : h.form->findChildren<QPushButton*>()) {
        QVERIFY2(h.form->centralWidget()->rect().contains(button->geometry()),
                 qPrintable(button->objectName()));
        QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) < button->width(),
                 qPrintable(button->objectName()));
    }
    // Drawn with twice the pixels each way.
    QCOMPARE(h.form->centralWidget()->grab().size(), QSize(2 * 568, 2 * 572));

    h.form->cmdConfig_Click();
    settings_dialog::ConfigScrn* dialog = h.form->configScrn();
    QVERIFY(dialog);
    QCOMPARE(dialog->size(), QSize(ui::twipsToPixels(5880), ui::twipsToPixels(5730)));
    QCOMPARE(dialog->grab().size(), 2 * dialog->size());
    dialog->close();
}

int main(int argc, char** argv) {
    // The scale must be chosen before the application starts.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestHighDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_high_dpi.moc"
