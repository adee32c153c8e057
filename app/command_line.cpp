#include "app/command_line.h"

#include "base/outside_text.h"
#include "test_codes/symbols/test_sheet.h"
#include "test_codes/window/test_codes_texts.h"

#include <QFile>

#include <cstdio>

namespace app {

namespace {

// Qt's own options, read by QApplication: those that take the next argument, and the others.
const QByteArrayList QtOptionsWithValue{"platform",
                                        "platformpluginpath",
                                        "platformtheme",
                                        "plugin",
                                        "qwindowgeometry",
                                        "qwindowicon",
                                        "qwindowtitle",
                                        "qmljsdebugger",
                                        "session",
                                        "display",
                                        "geometry",
                                        "style",
                                        "stylesheet",
                                        "name",
                                        "title",
                                        "visual",
                                        "ncols",
                                        "cmap",
                                        "fn",
                                        "font",
                                        "bg",
                                        "background",
                                        "fg",
                                        "foreground",
                                        "btn",
                                        "button",
                                        "im",
                                        "inputstyle"};
const QByteArrayList QtOptionsAlone{"reverse", "widgetcount", "nograb", "dograb", "sync"};

// "platform" for "-platform", "--platform" and "-platform=xcb"; empty for what is no option.
QByteArray optionName(const QByteArray& argument) {
    if (!argument.startsWith('-') || argument == "-" || argument == "--")
        return {};
    QByteArray name = argument.mid(argument.startsWith("--") ? 2 : 1);
    if (const qsizetype equals = name.indexOf('='); equals >= 0)
        name.truncate(equals);
    return name;
}

QString shown(const QByteArray& argument) {
    return base::outside_text::visible(argument);
}

} // namespace

QString usageText() {
    return QStringLiteral("usage: linnet-test [--test-sheet FILE.pdf [--paper A4|Letter]] "
                          "[Qt options such as -platform NAME]");
}

CommandLine readCommandLine(const QByteArrayList& arguments) {
    CommandLine line;
    bool paperGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QByteArray& argument = arguments[i];
        const QByteArray name = optionName(argument);
        const bool sheet = argument == "--test-sheet";
        const bool paper = argument == "--paper";
        if (!sheet && !paper) {
            if (QtOptionsAlone.contains(name))
                continue;
            if (QtOptionsWithValue.contains(name)) {
                if (!argument.contains('='))
                    ++i;
                continue;
            }
            line.error = name.isEmpty()
                             ? QStringLiteral("unexpected argument \"%1\"").arg(shown(argument))
                             : QStringLiteral("unknown option %1").arg(shown(argument));
            return line;
        }
        if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
            line.error = QStringLiteral("%1 needs a value: %2")
                             .arg(QString::fromLatin1(argument),
                                  sheet ? QStringLiteral("the PDF file to write")
                                        : QStringLiteral("A4 or Letter"));
            return line;
        }
        const QByteArray value = arguments[++i];
        if (sheet) {
            // The file is written under the name as its bytes are: a name that does not read
            // back into the same bytes would be written under another.
            const QString path = QFile::decodeName(value);
            if (QFile::encodeName(path) != value) {
                line.error = QStringLiteral("the file name \"%1\" is not valid text in this "
                                            "system's encoding (UTF-8), so it cannot be written "
                                            "as given; choose another name")
                                 .arg(shown(value));
                return line;
            }
            line.testSheet = path;
        } else if (value.compare("A4", Qt::CaseInsensitive) == 0) {
            line.paper = QPageSize::A4;
            paperGiven = true;
        } else if (value.compare("Letter", Qt::CaseInsensitive) == 0) {
            line.paper = QPageSize::Letter;
            paperGiven = true;
        } else {
            line.error = QStringLiteral("--paper takes A4 or Letter, not %1").arg(shown(value));
            return line;
        }
    }
    if (paperGiven && !line.testSheet)
        line.error = QStringLiteral("--paper is for the sheet: give --test-sheet FILE.pdf too");
    return line;
}

int writeSheetFromCommandLine(const CommandLine& line) {
    const auto written = test_codes::writeTestSheet(*line.testSheet, line.paper);
    if (!written) {
        std::fprintf(stderr, "linnet-test: %s\n",
                     qUtf8Printable(test_codes::sheetNotWrittenText(written.error())));
        return 1;
    }
    return 0;
}

} // namespace app
