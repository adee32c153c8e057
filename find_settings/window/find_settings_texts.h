#pragma once

#include "find_settings/model/settings_search.h"
#include "port/line_settings.h"

#include <QString>

#include <optional>

namespace find_settings {

// A setting in the port's terms, and back: the port reads and writes the settings text.
port::LineSettings lineSettingsOf(const LineFormat& format);
// "19200,E,7,1", as the port's Settings takes it.
QString settingsText(const LineFormat& format);
// The setting a Settings text names; none when the port would refuse the text.
std::optional<LineFormat> formatOfSettings(const QString& settings);

// The sentences of the Find Settings window.
QString introText();
QString scanChoiceLabel();
QString anyCodeChoice();
// "EAN-13 from Test Codes (one scan is enough)".
QString testCodeChoice(const QString& codeName);
QString scanChoiceTip();
QString progressName();
// The progress bar's text (Qt's %v and %m) before a search and during one.
QString progressBeforeText();
QString progressDuringText();
QString reportName();
QString triedSettingsName();
QString applyTip();
// "19200 baud, 7 data bits, even parity, 1 stop bit".
QString formatDescription(const LineFormat& format);
// "2 scans, no line error, all printable, ends with CR LF".
QString evidenceText(const TriedSetting& setting);
// `number`: the setting's place in the order of trying, as the progress bar shows it.
// A setting tried in a word, as the table of settings tried shows it.
QString triedResultWord(TriedResult result);
QString listeningWord();
// The first characters received at a setting in the Scan Log's visible form, "..." when more came.
QString firstCharactersText(const TriedSetting& setting);
QString listeningText(const LineFormat& format, int number, int total, int scansHeard);
QString nothingYetText(qint64 quietSeconds);
// The report of a finished search: what was found, or "not found" and why, then the settings
// tried in order.
QString outcomeText(const SearchOutcome& outcome);
QString cancelledText(const QString& restored);
QString portClosedText();
// The port's settings (empty: its number) were changed during the search by something else.
QString changedByHandText(const QString& settings);
QString notOpenText();
QString searchStoppedText(const QString& failure);
QString appliedText(const LineFormat& format);
// The port is a USB CDC device: `device` as the device list names it.
QString noSerialLineText(const QString& portName, const QString& device);

} // namespace find_settings
