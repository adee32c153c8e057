#pragma once

#include <QByteArrayList>
#include <QPageSize>
#include <QString>

#include <optional>

namespace app {

// What the command line asks for besides the window.
struct CommandLine {
    // --test-sheet FILE: write the sheet of test codes as a PDF and exit, no window.
    std::optional<QString> testSheet;
    // --paper A4|Letter, for the sheet.
    QPageSize::PageSizeId paper = QPageSize::A4;
    // What was wrong with the arguments, as a sentence; empty when nothing was. The program
    // then says it with the usage and exits with status 2.
    QString error;
};

// How the program is called, for standard error.
QString usageText();

// Reads the program's arguments (without the program's name) as the bytes they are. Qt's own
// options (-platform, -style, -display ...) are left to Qt; anything else the program does not
// know is an error, as is --paper without --test-sheet and a file name that is not text in this
// system's encoding (it could not be written under the name given).
CommandLine readCommandLine(const QByteArrayList& arguments);

// Writes the sheet the command line asks for; the exit status: 0 written whole, 1 not (said on
// standard error).
int writeSheetFromCommandLine(const CommandLine& line);

} // namespace app
