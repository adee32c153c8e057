#include "scan_log/window/scan_log_texts.h"

#include "base/outside_text.h"
#include "scan_log/window/recorder.h"
#include "scan_log/window/scan_collector.h"
#include "scan_log/window/scan_log_model.h"

#include <QLocale>

namespace scan_log {

namespace {

QString why(const RecordFailure& failure) {
    switch (failure.kind) {
    case RecordFailure::Kind::NotRegular:
        return QStringLiteral("it is not a regular file");
    case RecordFailure::Kind::Deleted:
        return QStringLiteral("the file was deleted or its folder removed");
    case RecordFailure::Kind::System:
        break;
    }
    return failure.reason;
}

} // namespace

QString recordNotStartedText(const RecordFailure& failure) {
    return QStringLiteral("Cannot record to %1: %2. Choose another file or folder.")
        .arg(base::outside_text::visible(failure.path), why(failure));
}

QString recordStoppedText(const RecordFailure& failure) {
    return QStringLiteral("Recording to %1 has stopped: %2. The file keeps what was written "
                          "before; the port and the views go on.")
        .arg(base::outside_text::visible(failure.path), why(failure));
}

QString csvNotSavedText(const QString& path, const QString& reason) {
    return QStringLiteral("Could not save the Scan Log to %1: %2.")
        .arg(base::outside_text::visible(path), reason);
}

namespace {

QString gapText(const std::optional<qint64>& ms) {
    return ms ? QStringLiteral("%1 ms").arg(*ms) : QStringLiteral("-");
}

QString figureCaption(Figure figure) {
    switch (figure) {
    case Figure::Scans:
        return QStringLiteral("Scans: %1");
    case Figure::PerMinute:
        return QStringLiteral("Per minute: %1");
    case Figure::ShortestGap:
        return QStringLiteral("Shortest gap: %1");
    case Figure::LongestGap:
        return QStringLiteral("Longest gap: %1");
    case Figure::Problems:
        return QStringLiteral("Problems: %1");
    case Figure::Dropped:
        return QStringLiteral("Dropped: %1");
    }
    return {};
}

} // namespace

QString figureText(Figure figure, const ScanStats& stats, quint64 dropped) {
    const QString caption = figureCaption(figure);
    switch (figure) {
    case Figure::Scans:
        return caption.arg(stats.count);
    case Figure::PerMinute: {
        const std::optional<double> perMinute = stats.perMinute();
        return caption.arg(perMinute ? QString::number(*perMinute, 'f', 1) : QStringLiteral("-"));
    }
    case Figure::ShortestGap:
        return caption.arg(gapText(stats.shortestGapMs));
    case Figure::LongestGap:
        return caption.arg(gapText(stats.longestGapMs));
    case Figure::Problems:
        return caption.arg(stats.problems);
    case Figure::Dropped:
        return caption.arg(dropped);
    }
    return {};
}

QString widestFigureText(Figure figure) {
    switch (figure) {
    case Figure::PerMinute:
        return figureCaption(figure).arg(QStringLiteral("0000000.0"));
    case Figure::ShortestGap:
    case Figure::LongestGap:
        return figureCaption(figure).arg(QStringLiteral("0000000 ms"));
    default:
        return figureCaption(figure).arg(QStringLiteral("0000000000"));
    }
}

QString figureTip(Figure figure) {
    switch (figure) {
    case Figure::Scans:
        return QStringLiteral("Scans since the log was last cleared");
    case Figure::PerMinute:
        return QStringLiteral("Average from the first scan to the latest, since the log was "
                              "last cleared");
    case Figure::ShortestGap:
        return QStringLiteral("Shortest time between the end of a scan and the start of the next");
    case Figure::LongestGap:
        return QStringLiteral("Longest time between the end of a scan and the start of the next");
    case Figure::Problems:
        return QStringLiteral("Scans whose verdict is problem: a wrong check digit, a GS1 field "
                              "or its order, GS1's syntax rules, line errors or garbage");
    case Figure::Dropped:
        return QStringLiteral("The oldest scans leave the log to keep it within %1 scans and %2 "
                              "MiB of scanned bytes")
            .arg(QLocale(QLocale::English).toString(qulonglong(ScanLogModel::MaxRows)))
            .arg(ScanLogModel::MaxBytes / (1024 * 1024));
    }
    return {};
}

QString silenceTip() {
    return QStringLiteral("Bytes followed by this much silence form a scan even without CR, LF "
                          "or TAB at their end");
}

QString copyTip() {
    return QStringLiteral("Copies the selected rows as tab-separated text");
}

QString keyboardFieldLabel() {
    return QStringLiteral("Click here, then scan with a keyboard-mode scanner");
}

QString timelineName() {
    return QStringLiteral("Scans along time");
}

QString timelineDescription(std::size_t scans, std::int64_t spanMs) {
    return QStringLiteral("%1 scan%2 in %3 s")
        .arg(scans)
        .arg(scans == 1 ? QString() : QStringLiteral("s"))
        .arg(double(spanMs) / 1000.0, 0, 'f', 1);
}

QString timelineColumnText(std::uint32_t good, std::uint32_t problem, std::uint32_t unknown) {
    QStringList parts;
    if (good > 0)
        parts << QStringLiteral("%1 good").arg(good);
    if (problem > 0)
        parts << QStringLiteral("%1 with a problem").arg(problem);
    if (unknown > 0)
        parts << QStringLiteral("%1 unknown").arg(unknown);
    return parts.join(QStringLiteral(", ")) + QStringLiteral("; click to show it in the table");
}

QString picturesName() {
    return QStringLiteral("Pictures of the scans");
}

QString showPicturesTip() {
    return QStringLiteral("Show the timeline of the scans and the histogram of their gaps above "
                          "the table");
}

QString timelineTip() {
    return QStringLiteral(
        "Each mark stands for the scans at that time: a filled circle when all were good, a "
        "square when one could not be checked, a cross when one had a problem. A stretch without "
        "marks is a pause of the scanner. Click a mark to show its scan in the table.");
}

QString histogramOfTip() {
    return QStringLiteral(
        "The histogram counts the gaps between the scans shown (from the last byte of one to the "
        "first of the next) or their durations; the dashed line is the median. When a few are far "
        "longer than the rest (a pause), a hatched last bar holds them.");
}

QString picturesSpanText(const QDateTime& from, const QDateTime& to, bool lastMinute) {
    const QString format = QStringLiteral("hh:mm:ss");
    return QStringLiteral("%1 %2 to %3")
        .arg(lastMinute ? QStringLiteral("The last minute's scans,")
                        : QStringLiteral("Every scan,"),
             from.toString(format), to.toString(format));
}

QString histogramName() {
    return QStringLiteral("Gaps between scans");
}

QString histogramDescription(const Histogram& histogram, std::size_t values, bool durations) {
    const QString what = durations ? QStringLiteral("durations") : QStringLiteral("gaps");
    if (values == 0 || !histogram.medianMs)
        return QStringLiteral("no %1 yet").arg(what);
    QString text = QStringLiteral("%1 %2 to %3 ms, median %4 ms")
                       .arg(what)
                       .arg(histogram.lowestMs)
                       .arg(histogram.highestMs)
                       .arg(*histogram.medianMs, 0, 'f', 0);
    if (histogram.overflowFromMs && !histogram.counts.empty())
        text += QStringLiteral("; %1 of %2 ms or more in the last bar")
                    .arg(histogram.counts.back())
                    .arg(*histogram.overflowFromMs);
    return text;
}

} // namespace scan_log
