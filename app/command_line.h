#pragma once

#include <QPageSize>
#include <QString>
#include <QStringList>

#include <optional>

// What the command line asks for besides the window.
struct CommandLine {
    // --test-sheet FILE: write the sheet of test codes as a PDF and exit, no window.
    std::optional<QString> testSheet;
    // --paper A4|Letter, for the sheet.
    QPageSize::PageSizeId paper = QPageSize::A4;
    // What was wrong with the arguments, as a sentence; empty when nothing was.
    QString error;
};

// Reads the program's arguments (without the program's name). Arguments it does not know are
// left to Qt (-platform, -style ...).
CommandLine readCommandLine(const QStringList& arguments);

// Writes the sheet the command line asks for; the exit status: 0 written, 1 not (said on
// standard error).
int writeSheetFromCommandLine(const CommandLine& line);
