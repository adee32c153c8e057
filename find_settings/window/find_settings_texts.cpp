#include "find_settings/window/find_settings_texts.h"

#include "base/outside_text.h"
#include "scan_log/model/visible_bytes.h"

#include <QStringList>

namespace find_settings {

namespace {

QString count(int n, const char* one, const char* many) {
    return QString::number(n) + QLatin1Char(' ') + QString::fromLatin1(n == 1 ? one : many);
}

QString shortName(const LineFormat& format) {
    return QString::fromStdString(format.text());
}

QString endingOf(const std::string& scan) {
    if (scan.ends_with("\r\n"))
        return QStringLiteral("CR LF");
    if (scan.ends_with('\r'))
        return QStringLiteral("CR");
    if (scan.ends_with('\n'))
        return QStringLiteral("LF");
    return {};
}

QString errorsPhrase(int errors) {
    return errors == 0 ? QStringLiteral("no line error")
                       : count(errors, "line error", "line errors");
}

} // namespace

port::LineSettings lineSettingsOf(const LineFormat& format) {
    return {.baud = format.baud,
            .parity = format.parity == Parity::Even  ? 'E'
                      : format.parity == Parity::Odd ? 'O'
                                                     : 'N',
            .dataBits = format.dataBits,
            .stopBits = format.stopBits};
}

QString settingsText(const LineFormat& format) {
    return port::formatLineSettings(lineSettingsOf(format));
}

std::optional<LineFormat> formatOfSettings(const QString& settings) {
    const auto read = port::parseLineSettings(settings);
    if (!read)
        return std::nullopt;
    return LineFormat{.baud = read->baud,
                      .dataBits = read->dataBits,
                      .parity = read->parity == 'E'   ? Parity::Even
                                : read->parity == 'O' ? Parity::Odd
                                                      : Parity::None,
                      .stopBits = read->stopBits};
}

QString introText() {
    return QStringLiteral("Finds the baud rate, data bits, parity and stop bits of a serial "
                          "scanner: choose Start and scan a code again and again. Each setting "
                          "is tried on the open port; DTR and RTS stay as they are, and the "
                          "port's settings come back when the search ends.");
}

QString scanChoiceLabel() {
    return QStringLiteral("&What you scan:");
}

QString anyCodeChoice() {
    return QStringLiteral("Any code, again and again");
}

QString testCodeChoice(const QString& codeName) {
    return QStringLiteral("%1 from Test Codes (one scan is enough)").arg(codeName);
}

QString scanChoiceTip() {
    return QStringLiteral("With a code from the Test Codes window the search knows what must "
                          "arrive, and one scan at the right setting finds it");
}

QString progressName() {
    return QStringLiteral("Settings tried");
}

QString progressBeforeText() {
    return QStringLiteral("%m settings to try");
}

QString progressDuringText() {
    return QStringLiteral("Setting %v of %m");
}

QString reportName() {
    return QStringLiteral("Search report");
}

QString triedSettingsName() {
    return QStringLiteral("Settings tried");
}

QString applyTip() {
    return QStringLiteral("Puts the found settings into the port and the settings dialog");
}

QString formatDescription(const LineFormat& format) {
    const QString parity = format.parity == Parity::Even  ? QStringLiteral("even parity")
                           : format.parity == Parity::Odd ? QStringLiteral("odd parity")
                                                          : QStringLiteral("no parity");
    return QStringLiteral("%1 baud, %2, %3, %4")
        .arg(format.baud)
        .arg(count(format.dataBits, "data bit", "data bits"), parity,
             count(format.stopBits, "stop bit", "stop bits"));
}

QString evidenceText(const TriedSetting& setting) {
    QStringList parts{count(setting.scans, "scan", "scans"), errorsPhrase(setting.lineErrors),
                      setting.unprintable == 0
                          ? QStringLiteral("all printable")
                          : count(setting.unprintable, "character no scanner sends",
                                  "characters no scanner sends")};
    if (setting.endedWithTerminator == setting.scans)
        parts << QStringLiteral("ends with ") + endingOf(setting.lastScan);
    else if (setting.endedWithTerminator == 0)
        parts << QStringLiteral("no CR or LF at the end");
    else
        parts << QStringLiteral("%1 of %2 end with CR or LF")
                     .arg(setting.endedWithTerminator)
                     .arg(setting.scans);
    if (setting.matchedExpected)
        parts << QStringLiteral("the test code read right");
    return parts.join(QStringLiteral(", "));
}

QString triedResultWord(TriedResult result) {
    switch (result) {
    case TriedResult::Found:
        return QStringLiteral("found");
    case TriedResult::Clean:
        return QStringLiteral("clean");
    case TriedResult::LineErrors:
        return QStringLiteral("line errors");
    case TriedResult::Garbage:
        return QStringLiteral("garbage");
    case TriedResult::Silent:
        break;
    }
    return QStringLiteral("silent");
}

QString listeningWord() {
    return QStringLiteral("listening");
}

QString firstCharactersText(const TriedSetting& setting) {
    QString text = QString::fromStdString(scan_log::visibleForm(setting.firstChars));
    if (std::size_t(setting.chars) > setting.firstChars.size())
        text += QStringLiteral("...");
    return text;
}

QString listeningText(const LineFormat& format, int number, int total, int scansHeard) {
    return QStringLiteral("Listening at %1 (setting %2 of %3, %4 so far). Scan a code now, "
                          "and again after each beep.")
        .arg(shortName(format))
        .arg(number)
        .arg(total)
        .arg(count(scansHeard, "scan", "scans"));
}

QString nothingYetText(qint64 quietSeconds) {
    return QStringLiteral("Nothing has arrived for %1 s. Scan a code; if the scanner beeps and "
                          "still nothing arrives at any setting, check the cable and that the "
                          "scanner has power.")
        .arg(quietSeconds);
}

namespace {

// What was found, or "not found" and why.
QString verdictText(const SearchOutcome& outcome) {
    if (outcome.kind == SearchOutcome::Kind::Found) {
        const TriedSetting& found = *outcome.found;
        QString text = QStringLiteral("Found: ") + formatDescription(found.format) +
                       QStringLiteral(": ") + evidenceText(found) + QLatin1Char('.');
        if (outcome.withoutTerminator)
            text += QStringLiteral(" It is the only setting at which characters came without an "
                                   "error, but no scan ended with CR or LF: the scanner ends its "
                                   "scans with something else, or with nothing.");
        else if (outcome.unconfirmed)
            text += QStringLiteral(" It is the only setting at which characters came without an "
                                   "error, but it was not confirmed by a second clean scan or "
                                   "the chosen test code: scan again after Apply to be sure.");
        return text + QStringLiteral(" Choose Apply to use it.");
    }
    if (outcome.kind == SearchOutcome::Kind::Silence)
        return QStringLiteral("Not found: nothing arrived for %1 s at %2. Check the cable, that "
                              "the scanner has power and that it is set to send on its serial "
                              "line, then scan while the search listens.")
            .arg(QString::number(SearchPace{}.silenceLimitMs / 1000),
                 outcome.tried.empty() ? QStringLiteral("any setting")
                                       : QStringLiteral("the last setting tried"));
    if (!outcome.possible.empty()) {
        QStringList names;
        for (const LineFormat& format : outcome.possible)
            names << shortName(format);
        return QStringLiteral("Not found: characters came without an error at more than one "
                              "setting (%1), but no scan ended with CR or LF to tell them apart. "
                              "Scan a code from Test Codes and choose it above, or set the "
                              "scanner to end each scan with CR, and search again.")
            .arg(names.join(QStringLiteral(", ")));
    }
    const bool errorsEverywhere =
        std::all_of(outcome.tried.begin(), outcome.tried.end(),
                    [](const TriedSetting& setting) { return setting.lineErrors > 0; });
    if (errorsEverywhere)
        return QStringLiteral("Not found: line errors at every setting. The scanner may use a "
                              "rate this program does not offer, or the line is disturbed; "
                              "check the scanner's manual for its rate and the cable for a "
                              "loose contact.");
    return QStringLiteral(
        "Not found: no setting gave clean scans (no line error, only "
        "printable characters, CR or LF at the end). What each setting "
        "received is in the table below; if one reads almost right, the scanner's "
        "manual says how to set it.");
}

} // namespace

QString cancelledText(const QString& restored) {
    return QStringLiteral("Stopped. The port is back at %1.").arg(restored);
}

QString portClosedText() {
    return QStringLiteral("Stopped: the port closed during the search. Open it and start again.");
}

QString changedByHandText(const QString& settings) {
    if (settings.isEmpty())
        return QStringLiteral("Stopped: another port was chosen during the search. Start again to "
                              "search on it.");
    return QStringLiteral("Stopped: the port's settings were changed to %1 during the search "
                          "(Port Setting); they are kept. Start again to search from them.")
        .arg(settings);
}

QString notOpenText() {
    return QStringLiteral("The port is not open: open it, then start the search.");
}

QString searchStoppedText(const QString& failure) {
    return QStringLiteral("Stopped: ") + failure;
}

QString appliedText(const LineFormat& format) {
    return QStringLiteral("The port now uses %1.").arg(formatDescription(format));
}

QString noSerialLineText(const QString& portName, const QString& device) {
    return QStringLiteral("%1 is a USB device that sends its scans over USB itself (%2): it has "
                          "no serial line, so baud rate, data bits and parity change nothing and "
                          "there is nothing to find. If nothing arrives, see Diagnose.")
        .arg(portName, base::outside_text::visible(device));
}

QString outcomeText(const SearchOutcome& outcome) {
    return verdictText(outcome);
}

} // namespace find_settings
