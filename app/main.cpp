#include "main_window/form1.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Linnet-Test"));
    QApplication::setApplicationVersion(QStringLiteral(LINNET_VERSION));
    Form1 form;
    form.show();
    return QApplication::exec();
}
