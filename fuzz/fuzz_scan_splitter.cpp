// Received bytes in random reads at random times into the scan splitter: the scans hold every
// byte once and in order, each ends at its first terminator or is cut at the limit, and
// calling tick between reads changes nothing.
#include "collected_scans.h"
#include "scan_log/model/scan_splitter.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace scan_log;
using Ms = std::chrono::milliseconds;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

void take(std::vector<Scan>& into, std::vector<Scan> scans) {
    for (Scan& scan : scans)
        into.push_back(std::move(scan));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    // First byte: seeds read sizes and gaps; its two top bits set put 64 KiB of filler between
    // two copies of the stream, so that scans reach the length limit (kept to a quarter of the
    // runs: long streams are slow under the fuzzer's checks). Second byte: the silence.
    unsigned seed = data[0];
    const Ms silence{data[1] * 8};
    std::string stream(reinterpret_cast<const char*>(data + 2), size - 2);
    if ((data[0] & 0xC0) == 0xC0)
        stream = stream + std::string(ScanSplitter::MaxScanBytes, 'x') + stream;

    ScanSplitter ticked;
    ScanSplitter plain;
    ticked.setSilence(silence);
    plain.setSilence(silence);
    check(ticked.silence() >= ScanSplitter::MinSilence &&
          ticked.silence() <= ScanSplitter::MaxSilence);
    std::vector<Scan> withTicks;
    std::vector<Scan> withoutTicks;
    Ms now{0};
    std::size_t at = 0;
    while (at < stream.size()) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t length =
            std::min<std::size_t>(1 + (seed >> 16) % 4099, stream.size() - at);
        const std::string_view chunk = std::string_view(stream).substr(at, length);
        take(withTicks, feed(ticked, chunk, now));
        take(withoutTicks, feed(plain, chunk, now));
        at += length;
        const Ms gap{(seed >> 8) % 3 == 0 ? (seed >> 4) % 300 : 0};
        if (seed & 1)
            take(withTicks, tick(ticked, now + gap / 2));
        now += gap;
    }
    take(withTicks, ticked.flush());
    take(withoutTicks, plain.flush());
    check(withTicks == withoutTicks);
    check(!ticked.pending() && !ticked.deadline());

    std::string joined;
    for (const Scan& scan : withTicks) {
        check(!scan.bytes.empty());
        check(scan.firstArrival <= scan.lastArrival);
        check(terminatorOf(scan.bytes) == scan.terminator);
        const std::size_t body = scan.bytes.size() - terminatorLength(scan.terminator);
        check(scan.bytes.find_first_of("\r\n\t") >= body);
        check(scan.bytes.size() <= ScanSplitter::MaxScanBytes ||
              (scan.bytes.size() == ScanSplitter::MaxScanBytes + 1 &&
               scan.terminator == Terminator::CRLF));
        check(!scan.cut || (scan.bytes.size() == ScanSplitter::MaxScanBytes &&
                            scan.terminator == Terminator::None));
        joined += scan.bytes;
    }
    check(joined == stream);
    return 0;
}
