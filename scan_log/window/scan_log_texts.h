#pragma once

#include "scan_log/model/chart_scales.h"

#include <QDateTime>
#include <QString>

namespace scan_log {

struct RecordFailure;
struct ScanStats;

// The sentences of the Scan Log and of recording, in one place: the windows show them.

// "Cannot record to /tmp/fifo: it is not a regular file. Choose another file or folder."
QString recordNotStartedText(const RecordFailure& failure);

// "Recording to /tmp/x.log has stopped: No space left on device. ..."
QString recordStoppedText(const RecordFailure& failure);

// "Could not save the Scan Log to /tmp/x.csv: Permission denied."
QString csvNotSavedText(const QString& path, const QString& reason);

// The figures above the table.
enum class Figure { Scans, PerMinute, ShortestGap, LongestGap, Problems, Dropped };
inline constexpr Figure Figures[] = {Figure::Scans,      Figure::PerMinute, Figure::ShortestGap,
                                     Figure::LongestGap, Figure::Problems,  Figure::Dropped};
// "Scans: 12", "Shortest gap: 40 ms"; a figure not known yet reads "-".
QString figureText(Figure figure, const ScanStats& stats, quint64 dropped);
// The widest text the figure shows, which sets its size.
QString widestFigureText(Figure figure);
// What the figure counts.
QString figureTip(Figure figure);

QString silenceTip();
QString copyTip();
QString keyboardFieldLabel();

// The pictures' names and what they show, for a screen reader: "20 scans in 6.0 s";
// "gaps 150 to 450 ms, median 300 ms".
QString timelineName();
QString timelineDescription(std::size_t scans, std::int64_t spanMs);
// A timeline mark's tip: how many scans of each verdict it stands for.
QString timelineColumnText(std::uint32_t good, std::uint32_t problem, std::uint32_t unknown);
QString picturesName();
QString showPicturesTip();
QString timelineTip();
QString histogramOfTip();
// Above the pictures: the span they show.
QString picturesSpanText(const QDateTime& from, const QDateTime& to, bool lastMinute);
QString histogramName();
QString histogramDescription(const Histogram& histogram, std::size_t values, bool durations);

} // namespace scan_log
