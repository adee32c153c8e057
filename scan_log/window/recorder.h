#pragma once

#include "base/clock.h"
#include "base/result.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <memory>

namespace scan_log {

// Why recording did not start or stopped: what of it, and the file.
struct RecordFailure {
    enum class Kind {
        NotRegular, // a FIFO, a device or a folder: only a regular file is recorded into
        System,     // reason: the system's words for a failed open or write
        Deleted,    // the file was deleted, or its folder removed, while recording
    };
    Kind kind = Kind::System;
    QString path;
    QString reason;
};

// Records what goes over the port to a file, from the user-interface thread without holding it
// up: lines are collected in memory and written every FlushMs, and sooner when much is waiting.
// Goes on across closing and opening the port; ends with stop(), a failing write, or its end.
class Recorder final : public QObject {
    Q_OBJECT

public:
    enum class Kind {
        // One line per received block and per sent key: ISO 8601 local time to the millisecond,
        // RX or TX, the bytes in visible form.
        Transcript,
        // The received bytes, byte for byte.
        Raw,
    };
    static constexpr int FlushMs = 1000;
    // Waiting bytes that bring the next write forward to the next turn of the event loop.
    static constexpr qsizetype SoonBytes = 256 * 1024;
    // One write() hands the file system at most this much.
    static constexpr qsizetype ChunkBytes = 64 * 1024;

    explicit Recorder(base::MonotonicClock clock = base::monotonicMs, QObject* parent = nullptr);
    // Writes what is waiting and closes the file, reporting nothing.
    ~Recorder() override;

    // linnet-YYYYMMDD-HHMMSS.log
    static QString defaultFileName(const QDateTime& when);

    // Creates or empties the file and starts recording into it; the failure when it cannot (also
    // when it is not a regular file: a FIFO or a device would hold up the program).
    base::Status<RecordFailure> start(const QString& path, Kind kind);
    // Writes what is waiting and closes the file.
    void stop();
    bool recording() const { return file_ != nullptr; }
    QString path() const { return path_; }

    void received(const QByteArray& bytes, qint64 msecs);
    void sent(const QByteArray& bytes, qint64 msecs);

signals:
    // A write failed or the file went away: recording has stopped. Once per recording.
    void failed(const scan_log::RecordFailure& failure);
    // Recording started or stopped, for whatever reason.
    void recordingChanged(bool recording);

private:
    void addLine(const char* direction, const QByteArray& bytes, qint64 msecs);
    void waiting();
    // Hands what is waiting to the file; false when a write failed (recording has then stopped).
    bool flush();
    // Stops recording with one report of why; always false.
    bool fail(const RecordFailure& failure);
    void close();

    base::MonotonicClock clock_;
    std::unique_ptr<QFile> file_;
    QString path_;
    Kind kind_ = Kind::Transcript;
    QByteArray buffer_;
    QTimer flushTimer_;
    bool soonQueued_ = false;
    quint64 session_ = 0;
    // The transcript's time of the second timeSecond_ (ms since the epoch / 1000), around its
    // milliseconds: "2026-05-04T10:11:12." and "+02:00".
    qint64 timeSecond_ = 0;
    QByteArray timeBefore_;
    QByteArray timeAfter_;
};

} // namespace scan_log

Q_DECLARE_METATYPE(scan_log::RecordFailure)
