#include "app/command_line.h"

#include "test_codes/symbols/test_sheet.h"
#include "test_codes/window/test_codes_texts.h"

#include <cstdio>

CommandLine readCommandLine(const QStringList& arguments) {
    CommandLine line;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool sheet = argument == QStringLiteral("--test-sheet");
        const bool paper = argument == QStringLiteral("--paper");
        if (!sheet && !paper)
            continue;
        if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
            line.error = QStringLiteral("%1 needs a value: %2")
                             .arg(argument, sheet ? QStringLiteral("the PDF file to write")
                                                  : QStringLiteral("A4 or Letter"));
            return line;
        }
        const QString value = arguments[++i];
        if (sheet) {
            line.testSheet = value;
        } else if (value.compare(QStringLiteral("A4"), Qt::CaseInsensitive) == 0) {
            line.paper = QPageSize::A4;
        } else if (value.compare(QStringLiteral("Letter"), Qt::CaseInsensitive) == 0) {
            line.paper = QPageSize::Letter;
        } else {
            line.error = QStringLiteral("--paper takes A4 or Letter, not %1").arg(value);
            return line;
        }
    }
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
