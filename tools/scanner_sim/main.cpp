// linnet-scanner-sim: a pseudo-terminal that behaves like a serial barcode scanner, so that the
// program can be tried without hardware. It prints the path of the device side as its first line,
// then sends codes to whoever opens that path and prints what it receives from there.

#include "find_settings/model/uart_model.h"
#include "pty/pseudo_terminal.h"
#include "scan_log/model/gs1_check_digit.h"
#include "scan_log/model/visible_bytes.h"
#include "test_codes/model/test_code.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr const char* usageText =
    "Usage: linnet-scanner-sim [options]\n"
    "Creates a pseudo-terminal, prints the path of its device side, and sends barcodes to it\n"
    "like a serial scanner: an EAN-13, a Code 128 text and a long 2D-code payload, in turn.\n"
    "What the device side sends back is printed as \"received: ...\".\n"
    "\n"
    "  --interval SECONDS     time between two codes (default 2)\n"
    "  --terminator cr|crlf|lf  end of every code (default crlf)\n"
    "  --count K              stop after K codes, once they have been read (or a while later)\n"
    "  --stream N             instead of one code per interval, send exactly N bytes of codes,\n"
    "                         starting when the device is opened (its input is flushed)\n"
    "  --rate BYTES_PER_SEC   pace of the stream (0 or absent: as fast as the reader takes it)\n"
    "  --link PATH            also make PATH (which must not exist yet) a symbolic\n"
    "                         link to the device, removed at exit\n"
    "  --aim                  start every code with its AIM symbology identifier: ]E0 EAN-13,\n"
    "                         ]C0 Code 128, ]Q1 QR Code, ]C1 GS1-128, ]d2 GS1 DataMatrix\n"
    "  --gs1                  add a GS1-128 and a GS1 DataMatrix code to the turn: GS1 element\n"
    "                         strings, with GS (1Dh) after every variable-length field that is\n"
    "                         not the last\n"
    "  --bad-check-every N    give every Nth GS1 code a wrong check digit (default 5 with --gs1;\n"
    "                         0: never)\n"
    "  --test-codes           send the program's test codes in order instead (Tools > Test "
    "Codes),\n"
    "                         as a scanner with default settings sends them\n"
    "  --no-check-digit       with --test-codes: leave out the check digit of EAN, UPC and ITF\n"
    "  --no-gs                with --test-codes: leave out GS (1Dh) in GS1 codes\n"
    "  --prefix TEXT          send TEXT before every code (and its identifier), written as the\n"
    "                         Scan Log shows bytes: <STX> for 02h, << for \"<\"\n"
    "  --suffix TEXT          send TEXT after every code, before the terminator (<ETX>)\n"
    "  --line BAUD,FORMAT     the scanner's own line settings (e.g. 19200,7E1): each code goes\n"
    "                         out as a receiver at the port's speed with 8N1 would take it\n"
    "                         (a pseudo-terminal carries neither parity nor 7-bit characters)\n"
    "  --trigger TEXT         scan only when TEXT arrives (as the Scan Log shows bytes, such as\n"
    "                         <SYN>T<CR>): one code for each time it comes\n"
    "  --ack                  packet mode: after each code wait 500 ms for ACK (06h); without\n"
    "                         one send the code again, up to three times, and say what came\n"
    "  --quiet                do not print the codes sent\n"
    "SIGINT and SIGTERM stop it.\n";

struct Options {
    double interval = 2.0;
    std::string terminator = "\r\n";
    std::optional<std::uint64_t> count;
    std::optional<std::uint64_t> stream;
    double rate = 0;
    std::string link;
    bool quiet = false;
    bool aim = false;
    bool gs1 = false;
    bool testCodes = false;
    bool noCheckDigit = false;
    bool noGs = false;
    std::optional<std::uint64_t> badCheckEvery;
    std::optional<find_settings::LineFormat> line;
    std::string prefix;
    std::string suffix;
    std::string trigger;
    bool ack = false;
};

// A termios speed as baud; 9600 for one not listed.
int baudOf(speed_t speed) {
    static constexpr std::pair<speed_t, int> speeds[] = {
        {B300, 300},     {B600, 600},       {B1200, 1200},    {B2400, 2400},
        {B4800, 4800},   {B9600, 9600},     {B19200, 19200},  {B38400, 38400},
        {B57600, 57600}, {B115200, 115200}, {B230400, 230400}};
    for (const auto& [code, baud] : speeds) {
        if (code == speed)
            return baud;
    }
    return 9600;
}

// "19200,7E1" as a line format, or none.
std::optional<find_settings::LineFormat> readLine(std::string_view text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos || text.size() != comma + 4)
        return std::nullopt;
    find_settings::LineFormat format;
    format.baud = std::atoi(std::string(text.substr(0, comma)).c_str());
    format.dataBits = text[comma + 1] - '0';
    const char parity = text[comma + 2];
    format.parity = parity == 'N'   ? find_settings::Parity::None
                    : parity == 'E' ? find_settings::Parity::Even
                                    : find_settings::Parity::Odd;
    format.stopBits = text[comma + 3] - '0';
    const bool ok = format.baud > 0 && (format.dataBits == 7 || format.dataBits == 8) &&
                    (parity == 'N' || parity == 'E' || parity == 'O') &&
                    (format.stopBits == 1 || format.stopBits == 2);
    return ok ? std::optional(format) : std::nullopt;
}

[[noreturn]] void usageError(const std::string& message) {
    std::fprintf(stderr, "linnet-scanner-sim: %s\n(--help lists the options)\n", message.c_str());
    std::exit(2);
}

template <typename T> T number(std::string_view option, std::string_view text) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        usageError(std::string(option) + " needs a number, not \"" + std::string(text) + "\"");
    return value;
}

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(usageText, stdout);
            std::exit(0);
        }
        if (option == "--ack") {
            options.ack = true;
            continue;
        }
        if (option == "--quiet" || option == "--aim" || option == "--gs1" ||
            option == "--test-codes" || option == "--no-check-digit" || option == "--no-gs") {
            (option == "--quiet"            ? options.quiet
             : option == "--aim"            ? options.aim
             : option == "--gs1"            ? options.gs1
             : option == "--test-codes"     ? options.testCodes
             : option == "--no-check-digit" ? options.noCheckDigit
                                            : options.noGs) = true;
            continue;
        }
        if (i + 1 >= argc)
            usageError(option.starts_with("--") ? std::string(option) + " needs a value"
                                                : "unknown option " + std::string(option));
        const std::string_view value = argv[++i];
        if (option == "--interval") {
            options.interval = number<double>(option, value);
            if (!(options.interval >= 0.001 && options.interval <= 86400))
                usageError("--interval must be between 0.001 and 86400 seconds");
        } else if (option == "--line") {
            options.line = readLine(value);
            if (!options.line)
                usageError("--line is BAUD,FORMAT such as 19200,7E1 (7 or 8 data bits, N, E or O, "
                           "1 or 2 stop bits)");
        } else if (option == "--terminator") {
            if (value == "cr")
                options.terminator = "\r";
            else if (value == "crlf")
                options.terminator = "\r\n";
            else if (value == "lf")
                options.terminator = "\n";
            else
                usageError("--terminator is cr, crlf or lf");
        } else if (option == "--count") {
            options.count = number<std::uint64_t>(option, value);
            if (*options.count == 0)
                usageError("--count must be at least 1");
        } else if (option == "--stream") {
            options.stream = number<std::uint64_t>(option, value);
            if (*options.stream == 0)
                usageError("--stream must be at least 1 byte");
        } else if (option == "--rate") {
            options.rate = number<double>(option, value);
            if (!(options.rate >= 0))
                usageError("--rate must be 0 or more bytes per second");
        } else if (option == "--link") {
            options.link = value;
        } else if (option == "--prefix" || option == "--suffix") {
            const std::optional<std::string> bytes = scan_log::bytesOfVisibleForm(value);
            if (!bytes)
                usageError(std::string(option) + " is text as the Scan Log shows it, such as "
                                                 "<STX> or ABC (a single \"<\" is written <<)");
            (option == "--prefix" ? options.prefix : options.suffix) = *bytes;
        } else if (option == "--trigger") {
            const std::optional<std::string> bytes = scan_log::bytesOfVisibleForm(value);
            if (!bytes || bytes->empty())
                usageError("--trigger is text as the Scan Log shows it, such as <SYN>T<CR>");
            options.trigger = *bytes;
        } else if (option == "--bad-check-every") {
            options.badCheckEvery = number<std::uint64_t>(option, value);
        } else {
            usageError("unknown option " + std::string(option));
        }
    }
    if (options.stream && (!options.trigger.empty() || options.ack))
        usageError("--trigger and --ack do not go with --stream");
    if (options.stream && options.count)
        usageError("--count and --stream do not go together");
    if (options.rate > 0 && !options.stream)
        usageError("--rate paces a --stream");
    if (options.badCheckEvery && !options.gs1)
        usageError("--bad-check-every applies to the codes of --gs1");
    if ((options.noCheckDigit || options.noGs) && !options.testCodes)
        usageError("--no-check-digit and --no-gs apply to --test-codes");
    if (options.testCodes && options.gs1)
        usageError("--test-codes and --gs1 do not go together");
    return options;
}

// Control characters and bytes outside ASCII as escapes, so that a line shows exactly what came.
std::string escaped(std::string_view bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else if (c == '\t')
            text += "\\t";
        else if (c == '\\')
            text += "\\\\";
        else if (byte >= 0x20 && byte < 0x7f)
            text += c;
        else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            text += hex;
        }
    }
    return text;
}

void say(const std::string& line) {
    // A reader that went away must not stop the scanner: SIGPIPE is ignored and errors dropped.
    std::fputs((line + '\n').c_str(), stdout);
    std::fflush(stdout);
}

// The body (all digits) with its GS1 check digit, as the Scan Log checks it; a wrong one (any
// other digit) when asked.
std::string withCheckDigit(std::string_view body, bool wrong = false) {
    const char check = scan_log::gs1CheckDigit(body).value_or('0');
    return std::string(body) + (wrong ? static_cast<char>('0' + (check - '0' + 7) % 10) : check);
}

std::string digits(std::uint64_t value, int width) {
    std::string text = std::to_string(value);
    return std::string(width > static_cast<int>(text.size()) ? width - text.size() : 0, '0') + text;
}

// GS1 ends a variable-length field with the group separator when another field follows; the
// scanner sends FNC1 as this byte.
constexpr char groupSeparator = '\x1d';

// One code as the scanner reads it: the data, the AIM symbology identifier a scanner puts before
// it when set to, and whether a check digit in it is wrong on purpose.
struct Code {
    std::string data;
    std::string_view aimId;
    bool wrongCheck = false;
};

// The codes a scanner reads off a shelf, in turn: a product number, a label text, and a 2D code
// that carries a product URL with batch data (a few hundred characters, as such codes do). With
// GS1 codes asked for, a logistics label in GS1-128 and a GS1 DataMatrix from a pack follow.
class CodeSource {
public:
    explicit CodeSource(const Options& options)
        : aim_(options.aim), gs1_(options.gs1), testCodes_(options.testCodes),
          prefix_(options.prefix), suffix_(options.suffix), noCheckDigit_(options.noCheckDigit),
          noGs_(options.noGs), badCheckEvery_(options.gs1 ? options.badCheckEvery.value_or(5) : 0) {
    }

    // The code with its identifier (when asked for) between the prefix and the suffix, without
    // the terminator.
    std::string next() {
        const Code code = nextCode();
        lastWasWrong_ = code.wrongCheck;
        return prefix_ + (aim_ ? std::string(code.aimId) + code.data : code.data) + suffix_;
    }

    // Whether the last code carries a wrong check digit on purpose.
    bool lastWasWrong() const { return lastWasWrong_; }

private:
    Code nextCode() {
        if (testCodes_)
            return nextTestCode();
        const std::uint64_t kinds = gs1_ ? 5 : 3;
        const std::uint64_t n = produced_++;
        const std::uint64_t round = n / kinds + 1;
        switch (n % kinds) {
        case 0: {
            static constexpr std::string_view products[] = {"400638133393", "590123412345",
                                                            "978014300723"};
            return {withCheckDigit(products[(n / kinds) % std::size(products)]), "]E0"};
        }
        case 1:
            return {"LINNET-TEST-" + digits(round % 10000, 4), "]C0"};
        case 2:
            return {twoDimensional(round), "]Q1"};
        case 3:
            return gs1Label(round);
        default:
            return gs1Pack(round);
        }
    }

    // The program's test codes in turn, as a scanner set as the options say sends them: with an
    // identifier, UPC-A goes as 13 digits, as scanners send it then.
    Code nextTestCode() {
        const auto codes = test_codes::testCodes();
        const test_codes::TestCode& code = codes[produced_++ % codes.size()];
        std::string data(code.content);
        if (noCheckDigit_ && code.checkDigitLast)
            data.pop_back();
        if (noGs_ && code.gs1)
            std::erase(data, groupSeparator);
        if (aim_ && code.symbology == test_codes::Symbology::UpcA)
            data.insert(data.begin(), '0');
        return {data, code.aimIdentifier};
    }

    // Every badCheckEvery_-th GS1 code gets a wrong check digit.
    bool nextGs1IsWrong() { return badCheckEvery_ > 0 && ++gs1Produced_ % badCheckEvery_ == 0; }

    static std::string_view gtinBody(std::uint64_t round) {
        static constexpr std::string_view bodies[] = {"0950600013435", "0400638133393",
                                                      "1952123454321"};
        return bodies[round % std::size(bodies)];
    }

    // GS1-128, in turn: a trade item with expiry, batch and serial number; a pallet label with
    // its SSCC, the GTIN of its contents, their count and the order number.
    Code gs1Label(std::uint64_t round) {
        const bool wrong = nextGs1IsWrong();
        static constexpr std::string_view expiries[] = {"261231", "270630", "280229"};
        if (round % 2 == 1)
            return {"01" + withCheckDigit(gtinBody(round), wrong) + "17" +
                        std::string(expiries[round % std::size(expiries)]) + "10LOT-" +
                        std::to_string(round % 100) + groupSeparator + "21SN" + digits(round, 4),
                    "]C1", wrong};
        return {"00" + withCheckDigit("09506000" + digits(round % 1'000'000'000, 9), wrong) + "02" +
                    withCheckDigit(gtinBody(round)) + "37" + std::to_string(round % 48 + 1) +
                    groupSeparator + "400PO-" + digits(88213 + round, 5),
                "]C1", wrong};
    }

    // GS1 DataMatrix on a pack: GTIN, production date, serial number, batch and net weight.
    Code gs1Pack(std::uint64_t round) {
        const bool wrong = nextGs1IsWrong();
        return {"01" + withCheckDigit(gtinBody(round + 1), wrong) + "11240715" + "21" +
                    digits(round * 7919 % 100'000'000, 8) + groupSeparator + "10B" +
                    digits(round % 1000, 3) + groupSeparator + "3103" +
                    digits(500 + round % 100, 6),
                "]d2", wrong};
    }

    static std::string twoDimensional(std::uint64_t round) {
        // The qualifiers in the order GS1 gives them: batch (10) before serial number (21).
        std::string code = "https://id.linnet.example/01/04006381333931/10/LOT-2024-07A/21/SN" +
                           digits(round, 6) +
                           "?17=271231&11=240715&3103=000525"
                           "&400=PO-88213-LINNET&7003=2407151230&cf=";
        // A fixed pseudo-random signature, different in every round, as signed codes carry.
        std::uint64_t state = round * 0x9E3779B97F4A7C15ull + 1;
        static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
        for (int i = 0; i < 176; ++i) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            code += alphabet[(state >> 59) & 31];
        }
        return code;
    }

    bool aim_;
    bool gs1_;
    bool testCodes_;
    std::string prefix_;
    std::string suffix_;
    bool noCheckDigit_;
    bool noGs_;
    std::uint64_t badCheckEvery_;
    std::uint64_t produced_ = 0;
    std::uint64_t gs1Produced_ = 0;
    bool lastWasWrong_ = false;
};

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "linnet-scanner-sim: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

void enterPacketMode(const PseudoTerminal& pty) {
    // Packet mode reports flushes of the device side's input: that is how a stream learns that the
    // program has opened the port.
    int on = 1;
    if (::ioctl(pty.master(), TIOCPKT, &on) != 0)
        fail("switching the pseudo-terminal to packet mode");
}

void makeLink(const Options& options, const std::string& target) {
    if (options.link.empty())
        return;
    // Whatever has the name already is left alone, a link too: it may be another program's (or
    // another simulator's), and the link is removed at exit.
    if (::symlink(target.c_str(), options.link.c_str()) != 0) {
        if (errno == EEXIST)
            fail(options.link + " exists already; choose a name that is free");
        fail("linking " + options.link + " to " + target);
    }
}

void removeLink(const Options& options, const std::string& target) {
    if (options.link.empty())
        return;
    char buffer[4096];
    const ssize_t size = ::readlink(options.link.c_str(), buffer, sizeof buffer);
    // Only our own link: another simulator may have taken the name over since.
    if (size >= 0 && std::string_view(buffer, static_cast<std::size_t>(size)) == target)
        ::unlink(options.link.c_str());
}

int queuedOnDeviceSide(const PseudoTerminal& pty) {
    int count = 0;
    return ::ioctl(pty.deviceSide(), TIOCINQ, &count) == 0 ? count : 0;
}

// Codes that nobody reads pile up in the kernel until writes stop. A scanner on a line that no
// program listens to loses them instead, and so does the simulator once this much has piled up.
constexpr int staleInputLimit = 3072;

class Scanner {
public:
    Scanner(const Options& options, const PseudoTerminal& pty)
        : options_(options), pty_(pty), codes_(options) {}

    int run() {
        start_ = Clock::now();
        nextCode_ = start_ + interval();
        for (;;) {
            const Clock::time_point now = Clock::now();
            if (!options_.stream) {
                sendCodeIfDue(now);
                writePending();
            } else {
                // Fill and write until the reader is full, or the pace or the end stops it.
                fillStream(now);
                while (writePending() && fillStream(now)) {
                }
            }
            if (finished())
                return 0;

            pollfd fds[2] = {{signalPipe[0], POLLIN, 0}, {pty_.master(), POLLIN, 0}};
            if (!pending_.empty())
                fds[1].events |= POLLOUT;
            const int ready = ::poll(fds, 2, timeoutMs(Clock::now()));
            if (ready < 0 && errno != EINTR)
                fail("waiting for the pseudo-terminal");
            if (fds[0].revents & POLLIN)
                return 0;
            if (fds[1].revents & (POLLIN | POLLPRI | POLLHUP | POLLERR))
                readMaster();
        }
    }

private:
    Clock::duration interval() const {
        return std::chrono::duration_cast<Clock::duration>(Seconds(options_.interval));
    }

    // The code as the port receives it when the scanner's line settings are not the port's: a
    // receiver at the speed the program set, with the 8N1 a pseudo-terminal always has.
    std::string throughLine(const std::string& code) const {
        if (!options_.line)
            return code;
        termios settings{};
        if (::tcgetattr(pty_.master(), &settings) != 0)
            return code;
        const find_settings::LineFormat port{baudOf(::cfgetospeed(&settings)), 8,
                                             find_settings::Parity::None, 1};
        const std::vector<std::string> scans{code};
        std::string received;
        for (const find_settings::ReceivedChar& c :
             find_settings::receiveLine(*options_.line, port, scans))
            received += static_cast<char>(c.value);
        return received;
    }

    // Packet mode: the code waits for ACK; without one in time it goes again, at most
    // AckRetries times.
    static constexpr auto AckWait = std::chrono::milliseconds(500);
    static constexpr int AckRetries = 3;
    struct AwaitedAck {
        std::string code;
        Clock::time_point sentAt;
        Clock::time_point deadline;
        int retries = 0;
    };

    void checkAck(Clock::time_point now) {
        if (!awaited_ || now < awaited_->deadline || !pending_.empty())
            return;
        if (awaited_->retries == AckRetries) {
            say("ack: no ACK after " + std::to_string(AckRetries) + " retries; giving up on " +
                escaped(awaited_->code));
            awaited_.reset();
            return;
        }
        ++awaited_->retries;
        say("ack: no ACK within 500 ms; sending again (" + std::to_string(awaited_->retries) +
            " of " + std::to_string(AckRetries) + "): " + escaped(awaited_->code));
        pending_ = awaited_->code;
        awaited_->deadline = now + AckWait;
    }

    void heard(std::string_view bytes, Clock::time_point now) {
        if (awaited_ && bytes.find('\x06') != std::string_view::npos) {
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(now - awaited_->sentAt);
            say("ack: ACK after " + std::to_string(ms.count()) + " ms");
            awaited_.reset();
        }
        if (options_.trigger.empty())
            return;
        heard_.append(bytes);
        for (std::size_t at; (at = heard_.find(options_.trigger)) != std::string::npos;) {
            heard_.erase(0, at + options_.trigger.size());
            ++triggers_;
            say("trigger: " + escaped(options_.trigger));
        }
        // Only the end of what came can begin the next trigger.
        if (heard_.size() > options_.trigger.size())
            heard_.erase(0, heard_.size() - options_.trigger.size());
    }

    void sendCodeIfDue(Clock::time_point now) {
        checkAck(now);
        if (awaited_)
            return;
        if (!options_.trigger.empty()) {
            if (triggers_ == 0 || (options_.count && sent_ >= *options_.count))
                return;
            --triggers_;
            nextCode_ = now;
        }
        if (now < nextCode_ || (options_.count && sent_ >= *options_.count))
            return;
        // After a long stall (a suspended process) the next code comes one interval from now,
        // not as a burst of all the codes that were due.
        nextCode_ = std::max(nextCode_ + interval(), now);
        const std::string code = codes_.next();
        if (options_.count && ++sent_ == *options_.count)
            lastCode_ = now;
        if (!pending_.empty()) {
            if (!options_.quiet)
                say("skipped: " + escaped(code) + " (the device side is not reading)");
            return;
        }
        if (queuedOnDeviceSide(pty_) > staleInputLimit)
            ::tcflush(pty_.deviceSide(), TCIFLUSH);
        pending_ = throughLine(code + options_.terminator);
        if (options_.ack)
            awaited_ = AwaitedAck{pending_, now, now + AckWait, 0};
        if (!options_.quiet)
            say("sent: " + escaped(pending_) +
                (codes_.lastWasWrong() ? " (check digit wrong on purpose)" : ""));
    }

    // Returns whether it added bytes.
    bool fillStream(Clock::time_point now) {
        if (!streamStarted_ || queued_ >= *options_.stream || pending_.size() >= 4096)
            return false;
        std::uint64_t allowed = *options_.stream - queued_;
        if (options_.rate > 0) {
            const auto due =
                static_cast<std::uint64_t>(Seconds(now - streamStart_).count() * options_.rate);
            allowed = std::min(allowed, due > queued_ ? due - queued_ : 0);
        }
        allowed = std::min<std::uint64_t>(allowed, 4096 - pending_.size());
        const bool adding = allowed > 0;
        while (allowed > 0) {
            if (streamLine_.empty())
                streamLine_ = codes_.next() + options_.terminator;
            const std::size_t take = std::min<std::uint64_t>(allowed, streamLine_.size());
            pending_.append(streamLine_, 0, take);
            streamLine_.erase(0, take);
            queued_ += take;
            allowed -= take;
        }
        return adding;
    }

    // Returns whether everything pending went out.
    bool writePending() {
        while (!pending_.empty()) {
            const ssize_t written = ::write(pty_.master(), pending_.data(), pending_.size());
            if (written <= 0) {
                if (written < 0 && errno == EINTR)
                    continue;
                return false; // full (EAGAIN) or nobody there: try again when poll says so
            }
            pending_.erase(0, static_cast<std::size_t>(written));
            delivered_ += static_cast<std::uint64_t>(written);
        }
        if (options_.stream && !streamReported_ && delivered_ == *options_.stream) {
            streamReported_ = true;
            const double seconds = Seconds(Clock::now() - streamStart_).count();
            char line[160];
            std::snprintf(line, sizeof line, "stream: %llu bytes sent in %.3f s (%.0f bytes/s)",
                          static_cast<unsigned long long>(delivered_), seconds,
                          seconds > 0 ? delivered_ / seconds : 0.0);
            say(line);
        }
        return true;
    }

    // After its last code a --count run waits until the code has been read (closing the master
    // would make the kernel discard it), but not forever.
    bool finished() const {
        if (!lastCode_ || awaited_)
            return false;
        const Clock::duration waited = Clock::now() - *lastCode_;
        if (waited > std::max<Clock::duration>(interval(), std::chrono::seconds(2)))
            return true;
        return pending_.empty() && waited > std::chrono::milliseconds(20) &&
               queuedOnDeviceSide(pty_) == 0;
    }

    int timeoutMs(Clock::time_point now) const {
        auto until = [now](Clock::time_point when) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
            return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
        };
        if (lastCode_)
            return 10;
        if (awaited_)
            return until(awaited_->deadline);
        if (!options_.trigger.empty())
            return triggers_ > 0 ? 0 : -1;
        if (!options_.stream)
            return until(nextCode_);
        if (!streamStarted_ || queued_ >= *options_.stream || options_.rate <= 0)
            return -1;
        // Wake up when about a millisecond's worth of bytes (at least one) may go.
        const double chunk = std::max(1.0, options_.rate / 1000.0);
        const double at = (static_cast<double>(queued_) + chunk) / options_.rate;
        return until(streamStart_ + std::chrono::duration_cast<Clock::duration>(Seconds(at)));
    }

    void readMaster() {
        char buffer[4097];
        const ssize_t size = ::read(pty_.master(), buffer, sizeof buffer);
        if (size <= 0) {
            if (size < 0 && errno != EAGAIN && errno != EINTR)
                ::usleep(10'000); // a line that reports a hang-up must not spin the loop
            return;
        }
        // In packet mode the first byte says whether data follows or what happened on the line.
        if (buffer[0] == TIOCPKT_DATA) {
            if (size > 1) {
                const std::string_view bytes(buffer + 1, static_cast<std::size_t>(size - 1));
                say("received: " + escaped(bytes));
                heard(bytes, Clock::now());
            }
            return;
        }
        if ((buffer[0] & TIOCPKT_FLUSHREAD) && options_.stream && !streamStarted_) {
            streamStarted_ = true;
            streamStart_ = Clock::now();
            say("stream: the device was opened; sending " + std::to_string(*options_.stream) +
                " bytes");
        }
    }

    const Options& options_;
    const PseudoTerminal& pty_;
    CodeSource codes_;
    std::string pending_;
    Clock::time_point start_;
    Clock::time_point nextCode_;
    std::uint64_t sent_ = 0;
    std::optional<Clock::time_point> lastCode_;
    bool streamStarted_ = false;
    bool streamReported_ = false;
    Clock::time_point streamStart_;
    std::string streamLine_;
    std::uint64_t queued_ = 0;
    std::uint64_t delivered_ = 0;
    std::optional<AwaitedAck> awaited_;
    std::string heard_;
    std::uint64_t triggers_ = 0;
};

void installSignalHandlers() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        fail("creating the signal pipe");
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

std::string terminatorName(const std::string& terminator) {
    return terminator == "\r" ? "CR" : terminator == "\n" ? "LF" : "CR LF";
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    installSignalHandlers();
    // The simulator keeps the device side open itself (the default): without it, a read on the
    // master fails and poll reports a hang-up for as long as no program has the port open, and
    // every close by the program would hang the line up. Codes sent while the port is closed wait
    // in the kernel; the program discards them when it opens the port, so the codes it shows are
    // the fresh ones.
    std::optional<PseudoTerminal> opened;
    try {
        opened.emplace();
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "linnet-scanner-sim: %s\n", error.what());
        return 1;
    }
    const PseudoTerminal& pty = *opened;
    enterPacketMode(pty);
    makeLink(options, pty.devicePath());
    say(pty.devicePath());
    if (!options.quiet && !options.stream) {
        char line[160];
        std::snprintf(line, sizeof line,
                      "sending a code every %g s, each ending in %s; Ctrl+C stops",
                      options.interval, terminatorName(options.terminator).c_str());
        say(line);
    }
    const int status = Scanner(options, pty).run();
    removeLink(options, pty.devicePath());
    return status;
}
