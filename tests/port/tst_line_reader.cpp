// The reading thread and its queue: bytes stamped when they arrive, not when they are taken;
// a bound in bytes that drops and counts, or holds with handshaking; the end of a device that hangs
// up; and a thread that is gone, reading nothing more, once the reader is destroyed.
#include "data_columns.h"
#include "port/line_reader.h"
#include "pty_pair.h"

#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace port;
using namespace std::chrono_literals;

namespace {

// The slave side as the port leaves it: raw, not blocking.
void makeRaw(int fd) {
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &raw);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

QByteArray joined(const std::vector<StampedBytes>& reads) {
    QByteArray all;
    for (const StampedBytes& read : reads)
        all += read.bytes;
    return all;
}

// Takes until `size` bytes came or the time is up.
QByteArray takeAll(LineReader& reader, qsizetype size, std::vector<StampedBytes>* reads = nullptr) {
    QByteArray all;
    QElapsedTimer waited;
    waited.start();
    while (all.size() < size && waited.elapsed() < 5000) {
        pollfd ready{reader.readyFd(), POLLIN, 0};
        ::poll(&ready, 1, 50);
        LineReader::Taken taken = reader.take(1 << 20);
        all += joined(taken.reads);
        if (reads)
            reads->insert(reads->end(), taken.reads.begin(), taken.reads.end());
    }
    return all;
}

} // namespace

class TestLineReader : public QObject {
    Q_OBJECT

private slots:
    // The queue's rules: order, the bound, reads split where a take ends, times kept.
    void queueKeepsOrderBoundAndTimes() {
        StampedQueue queue(10);
        QCOMPARE(queue.push("abcd", 1), 0);
        QCOMPARE(queue.push("ef", 1), 0); // the same moment: joined to the read before
        QCOMPARE(queue.push("ghij", 5), 0);
        QCOMPARE(queue.push("klm", 6), 3); // full: nothing of it kept
        QCOMPARE(queue.size(), 10);
        std::vector<StampedBytes> first = queue.take(4);
        QCOMPARE(first, (std::vector<StampedBytes>{{"abcd", 1}}));
        QCOMPARE(queue.push("xyzuv", 7), 1); // room for four
        std::vector<StampedBytes> rest = queue.take(100);
        QCOMPARE(rest, (std::vector<StampedBytes>{{"ef", 1}, {"ghij", 5}, {"xyzu", 7}}));
        QVERIFY(queue.empty());
        QVERIFY(queue.take(100).empty());
        // A take that ends inside a read splits it; both halves keep its time.
        QCOMPARE(queue.push("ab", 9), 0);
        QCOMPARE(queue.take(1), (std::vector<StampedBytes>{{"a", 9}}));
        QCOMPARE(queue.take(5), (std::vector<StampedBytes>{{"b", 9}}));
    }

    // Bytes that arrive while nobody takes keep the times they arrived at.
    void stampsWhenBytesArrive() {
        PtyPair pty;
        makeRaw(pty.slaveFd());
        LineReader reader(pty.slaveFd(), [] { return base::monotonicMs(); });
        const qint64 start = base::monotonicMs();
        pty.writeMaster("12\r");
        std::this_thread::sleep_for(300ms); // the window's thread, busy
        pty.writeMaster("34\r");
        std::this_thread::sleep_for(300ms);
        std::vector<StampedBytes> reads;
        QCOMPARE(takeAll(reader, 6, &reads), QByteArray("12\r34\r"));
        QCOMPARE(reads.size(), std::size_t(2));
        QVERIFY2(reads[0].ms - start < 100, qPrintable(QString::number(reads[0].ms - start)));
        const qint64 gap = reads[1].ms - reads[0].ms;
        QVERIFY2(gap >= 280 && gap < 450, qPrintable(QString::number(gap)));
    }

    // The ready descriptor is readable exactly while something waits.
    void readyWhileSomethingWaits() {
        PtyPair pty;
        makeRaw(pty.slaveFd());
        LineReader reader(pty.slaveFd(), [] { return base::monotonicMs(); });
        pollfd ready{reader.readyFd(), POLLIN, 0};
        QCOMPARE(::poll(&ready, 1, 100), 0);
        pty.writeMaster("hello");
        QCOMPARE(::poll(&ready, 1, 2000), 1);
        LineReader::Taken part = reader.take(2);
        QCOMPARE(joined(part.reads), QByteArray("he"));
        QVERIFY(part.more);
        QCOMPARE(::poll(&ready, 1, 0), 1);
        QCOMPARE(joined(reader.take(100).reads), QByteArray("llo"));
        QCOMPARE(::poll(&ready, 1, 0), 0);
    }

    // Without handshaking, what does not fit is dropped and counted; with it, nothing is read
    // beyond half the bound, so the far end is held and nothing is lost.
    void boundDropsOrHolds_data() {
        addColumns<bool>("handshaking");
        QTest::newRow("no handshaking: dropped, counted") << false;
        QTest::newRow("handshaking: held") << true;
    }
    void boundDropsOrHolds() {
        QFETCH(bool, handshaking);
        constexpr qsizetype Bound = 64 << 10;
        PtyPair pty;
        makeRaw(pty.slaveFd());
        LineReader reader(
            pty.slaveFd(), [] { return base::monotonicMs(); }, Bound);
        reader.setHandshaking(handshaking);
        QByteArray data(256 << 10, Qt::Uninitialized);
        for (qsizetype i = 0; i < data.size(); ++i)
            data[i] = char('a' + i % 26);
        // Written while nobody takes: as much as the pseudo-terminal and the reader accept.
        qsizetype written = 0;
        QElapsedTimer waited;
        waited.start();
        while (written < data.size() && waited.elapsed() < 1000) {
            const qsizetype taken = pty.tryWriteMaster(QByteArrayView(data).sliced(written));
            written += taken;
            if (taken == 0)
                std::this_thread::sleep_for(5ms);
        }
        std::this_thread::sleep_for(100ms);
        QVERIFY(reader.queued() <= Bound);
        LineReader::Taken first = reader.take(Bound);
        if (handshaking) {
            QCOMPARE(first.dropped, quint64(0));
            QVERIFY2(written < data.size(), "the far end was never held");
            // Taking makes room: the rest comes, in order, none lost.
            QByteArray all = joined(first.reads);
            while (written < data.size() && waited.elapsed() < 10000) {
                written += pty.tryWriteMaster(QByteArrayView(data).sliced(written));
                all += takeAll(reader, 1);
            }
            all += takeAll(reader, data.size() - all.size());
            QCOMPARE(all.size(), data.size());
            QVERIFY(all == data);
        } else {
            QCOMPARE(written, data.size());
            QCOMPARE(qsizetype(first.dropped) + joined(first.reads).size(), data.size());
            QVERIFY(first.dropped > 0);
            QVERIFY(data.startsWith(joined(first.reads)));
        }
    }

    // A device that hangs up ends the reads, after what came before it.
    void endsWhenTheDeviceHangsUp() {
        PtyPair pty;
        makeRaw(pty.slaveFd());
        LineReader reader(pty.slaveFd(), [] { return base::monotonicMs(); });
        pty.writeMaster("last");
        std::this_thread::sleep_for(50ms);
        pty.closeMaster();
        QByteArray all;
        bool ended = false;
        QElapsedTimer waited;
        waited.start();
        while (!ended && waited.elapsed() < 5000) {
            pollfd ready{reader.readyFd(), POLLIN, 0};
            ::poll(&ready, 1, 50);
            LineReader::Taken taken = reader.take(100);
            all += joined(taken.reads);
            ended = taken.ended;
        }
        QVERIFY(ended);
        QCOMPARE(all, QByteArray("last"));
    }

    // Destroyed while bytes stream in: the thread is gone, and what arrives afterwards stays in
    // the device for whoever reads it next (it was not read after the end).
    void nothingIsReadAfterTheEnd() {
        PtyPair pty;
        makeRaw(pty.slaveFd());
        for (int round = 0; round < 20; ++round) {
            std::atomic<bool> writing{true};
            std::thread writer([&] {
                const QByteArray chunk(512, 'x');
                while (writing)
                    if (pty.tryWriteMaster(chunk) == 0)
                        std::this_thread::sleep_for(1ms);
            });
            {
                LineReader reader(pty.slaveFd(), [] { return base::monotonicMs(); });
                std::this_thread::sleep_for(std::chrono::milliseconds(round % 5));
            }
            writing = false;
            writer.join();
            // Drain, then the marker: it must reach this reader of ours whole.
            char sink[4096];
            while (::read(pty.slaveFd(), sink, sizeof sink) > 0) {
            }
            pty.writeMaster("marker");
            std::this_thread::sleep_for(20ms);
            char got[16] = {};
            QCOMPARE(::read(pty.slaveFd(), got, sizeof got), ssize_t(6));
            QCOMPARE(QByteArray(got, 6), QByteArray("marker"));
        }
    }
};

QTEST_GUILESS_MAIN(TestLineReader)
#include "tst_line_reader.moc"
