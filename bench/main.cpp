// linnet-bench: runs the program's performance targets against the real termios layer on
// pseudo-terminals and prints one table: target, goal, median, min and max over the runs.
//
// Every run of a measurement is a process of its own (this program, started with --child), so
// that each starts from a fresh start-up and no run inherits another's memory.

#include "probes.h"
#include "runs.h"
#include "startup.h"
#include "table.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace bench;

namespace {

constexpr const char* UsageText =
    "Usage: linnet-bench [--runs N] [--quick] [--only NAME[,NAME...]]\n"
    "Measures the program against its performance targets on pseudo-terminals and prints one\n"
    "table. Run it on a Release or RelWithDebInfo build, under xvfb-run for the start-up time.\n"
    "\n"
    "  --runs N    runs of every measurement (default 5; the table shows median, min and max)\n"
    "  --quick     a short smoke run: 1 run, shortened workloads (figures not comparable)\n"
    "  --only      run only these measurements: flood (both floods, with the responsiveness\n"
    "              and memory figures), flood-lines, flood-random, cpu-stream, cpu-scans,\n"
    "              latency-idle, latency-stream, inputlen1, startup, idle (both idle runs),\n"
    "              idle-unfocused, idle-focused, unterminated (memory under data that never\n"
    "              ends a scan), search-noise (Find Settings under 1 MB/s of noise),\n"
    "              tool-floods (20,000 scans into Test Codes, 100,000 keys into the Scan Log),\n"
    "              held (scans and a stream while the window's thread is held),\n"
    "              pictures (the Scan Log's pictures with 100,000 scans)\n";

// In the order they run.
const QStringList Measurements = {
    QStringLiteral("startup"),      QStringLiteral("flood"),
    QStringLiteral("latency-idle"), QStringLiteral("latency-stream"),
    QStringLiteral("cpu-scans"),    QStringLiteral("cpu-stream"),
    QStringLiteral("inputlen1"),    QStringLiteral("idle-unfocused"),
    QStringLiteral("idle-focused"), QStringLiteral("unterminated"),
    QStringLiteral("search-noise"), QStringLiteral("tool-floods"),
    QStringLiteral("held"),         QStringLiteral("pictures"),
};

// A measurement run that has not finished in this time is ended.
constexpr int ChildTimeoutMs = 15 * 60 * 1000;

struct Options {
    int runs = 5;
    bool quick = false;
    bool floodLines = true;
    bool floodRandom = true;
    QStringList only;
    // Set in a child: the measurement it runs, and its options.
    QString child;
    unsigned seed = 1;
};

std::optional<Options> parseOptions(const QStringList& arguments) {
    Options options;
    bool runsGiven = false;
    bool floodKindsGiven = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const auto value = [&]() -> QString {
            if (i + 1 >= arguments.size())
                throw std::invalid_argument(argument.toStdString() + " needs a value");
            return arguments[++i];
        };
        const auto count = [&](const char* what) {
            bool ok = false;
            const int number = value().toInt(&ok);
            if (!ok || number < 1)
                throw std::invalid_argument(std::string(what) + " needs a number of at least 1");
            return number;
        };
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            std::fputs(UsageText, stdout);
            return std::nullopt;
        } else if (argument == QLatin1String("--quick")) {
            options.quick = true;
        } else if (argument == QLatin1String("--runs")) {
            options.runs = count("--runs");
            runsGiven = true;
        } else if (argument == QLatin1String("--only")) {
            for (const QString& name : value().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                if (name == QLatin1String("flood-lines") || name == QLatin1String("flood-random")) {
                    if (!floodKindsGiven)
                        options.floodLines = options.floodRandom = false;
                    floodKindsGiven = true;
                    (name == QLatin1String("flood-lines") ? options.floodLines
                                                          : options.floodRandom) = true;
                    options.only << QStringLiteral("flood");
                } else if (name == QLatin1String("memory") ||
                           name == QLatin1String("responsiveness")) {
                    options.only << QStringLiteral("flood");
                } else if (name == QLatin1String("idle")) {
                    options.only << QStringLiteral("idle-unfocused")
                                 << QStringLiteral("idle-focused");
                } else if (Measurements.contains(name)) {
                    options.only << name;
                } else {
                    throw std::invalid_argument("unknown measurement " + name.toStdString());
                }
            }
        } else if (argument == QLatin1String("--child")) {
            options.child = value();
        } else if (argument == QLatin1String("--seed")) {
            options.seed = unsigned(count("--seed"));
        } else if (argument == QLatin1String("--flood-lines")) {
            options.floodLines = value() == QLatin1String("1");
        } else if (argument == QLatin1String("--flood-random")) {
            options.floodRandom = value() == QLatin1String("1");
        } else {
            throw std::invalid_argument("unknown option " + argument.toStdString());
        }
    }
    if (options.quick && !runsGiven)
        options.runs = 1;
    return options;
}

// Without a display, the window runs on Qt's offscreen platform; a private runtime folder keeps
// Qt from warning about a missing one.
void prepareEnvironment() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString folder =
            QDir::tempPath() + QStringLiteral("/linnet-bench-runtime-%1").arg(::getuid());
        QDir().mkpath(folder);
        ::chmod(QFile::encodeName(folder).constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
    }
}

// One run of one measurement, in this process.
int runChild(int argc, char** argv, const Options& options) {
    QApplication app(argc, argv);
    const Workload workload = options.quick ? Workload::quick() : Workload();
    RunReport report;
    std::printf("platform\t%s\n", qPrintable(QGuiApplication::platformName()));
    if (options.child == QLatin1String("flood"))
        runFloods(workload, options.floodLines, options.floodRandom, report);
    else if (options.child == QLatin1String("latency-idle"))
        runLatency(workload, false, options.seed, report);
    else if (options.child == QLatin1String("latency-stream"))
        runLatency(workload, true, options.seed, report);
    else if (options.child == QLatin1String("cpu-scans"))
        runProcessor(workload, false, report);
    else if (options.child == QLatin1String("cpu-stream"))
        runProcessor(workload, true, report);
    else if (options.child == QLatin1String("idle-unfocused"))
        runIdle(workload, false, report);
    else if (options.child == QLatin1String("idle-focused"))
        runIdle(workload, true, report);
    else if (options.child == QLatin1String("inputlen1"))
        runInputLenOne(workload, report);
    else if (options.child == QLatin1String("unterminated"))
        runUnterminated(workload, report);
    else if (options.child == QLatin1String("search-noise"))
        runSearchNoise(workload, report);
    else if (options.child == QLatin1String("tool-floods"))
        runToolFloods(workload, report);
    else if (options.child == QLatin1String("held"))
        runHeld(workload, report);
    else if (options.child == QLatin1String("pictures"))
        runPictures(workload, report);
    else
        throw std::invalid_argument("unknown measurement " + options.child.toStdString());
    return 0;
}

// Starts the runs, collects what they report and prints the table.
class Bench {
public:
    explicit Bench(const Options& options) : options_(options) {}

    void run();

private:
    bool wanted(const QString& name) const {
        return options_.only.isEmpty() || options_.only.contains(name);
    }
    void measureStartup();
    // Runs one measurement in a child process; false when the run failed.
    bool runMeasurement(const QString& name, int run, const QStringList& extra = {});
    void note(const QString& text, int run);
    void print(double seconds) const;

    Options options_;
    Table table_;
    QString platform_;
    double loadBefore_ = -1;
    double loadAfter_ = -1;
    // Notes and other figures in the order they first came, with the runs they came from.
    std::vector<std::pair<QString, std::vector<int>>> notes_;
    std::vector<std::pair<QString, std::vector<double>>> figures_;
};

void Bench::note(const QString& text, int run) {
    for (auto& [known, runs] : notes_) {
        if (known == text) {
            runs.push_back(run);
            return;
        }
    }
    notes_.emplace_back(text, std::vector<int>{run});
}

bool Bench::runMeasurement(const QString& name, int run, const QStringList& extra) {
    std::fprintf(stderr, "%s, run %d of %d\n", qPrintable(name), run, options_.runs);
    QStringList arguments{QStringLiteral("--child"), name, QStringLiteral("--seed"),
                          QString::number(run)};
    if (options_.quick)
        arguments << QStringLiteral("--quick");
    arguments << extra;
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    const bool finished = child.waitForFinished(ChildTimeoutMs);
    if (!finished) {
        child.kill();
        child.waitForFinished();
    }
    const QList<QByteArray> lines = child.readAllStandardOutput().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.split('\t');
        const QByteArray kind = fields.value(0);
        if (kind == "platform") {
            platform_ = QString::fromUtf8(fields.value(1));
        } else if (kind == "note") {
            note(QString::fromUtf8(fields.value(1)), run);
        } else if (kind == "figure") {
            const QString figure = QString::fromUtf8(fields.value(1));
            const double value = fields.value(2).toDouble();
            auto known = std::find_if(figures_.begin(), figures_.end(),
                                      [&](const auto& entry) { return entry.first == figure; });
            if (known == figures_.end())
                figures_.emplace_back(figure, std::vector<double>{value});
            else
                known->second.push_back(value);
        } else if (Table::Row* row = table_.row(fields.value(1).toStdString())) {
            if (kind == "value")
                row->values.push_back(fields.value(2).toDouble());
            else if (kind == "partial")
                row->partial = true;
            else if (kind == "lossy")
                row->lossy = true;
        }
    }
    const bool ok = finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    if (!ok)
        note(QStringLiteral("%1: the run failed (%2)")
                 .arg(name, finished ? QStringLiteral("exit code %1").arg(child.exitCode())
                                     : QStringLiteral("no result within 15 minutes")),
             run);
    return ok;
}

void Bench::measureStartup() {
    Table::Row& row = *table_.row("startup");
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        row.skipped = QStringLiteral("skipped (no display)");
        return;
    }
    const QString program = QStringLiteral(LINNET_TEST_BINARY);
    std::vector<double> reported;
    try {
        // The first start fills the file system and font caches; it is not counted.
        measureStartupOnce(program);
        for (int run = 1; run <= options_.runs; ++run) {
            const StartupSample sample = measureStartupOnce(program);
            row.values.push_back(sample.toFirstPaintMs);
            reported.push_back(sample.reportedMs);
            std::fprintf(stderr, "startup, run %d of %d: %.1f ms\n", run, options_.runs,
                         sample.toFirstPaintMs);
        }
    } catch (const std::exception& failure) {
        row.values.clear();
        row.skipped = QStringLiteral("failed");
        note(QStringLiteral("startup: %1").arg(QString::fromStdString(failure.what())), 0);
        return;
    }
    figures_.emplace_back(QStringLiteral("startup: as the program reports it, since the kernel "
                                         "started it (10 ms resolution)"),
                          reported);
}

// The machine's one-minute load average: figures taken while other work runs are not comparable.
double loadAverage() {
    double load = -1;
    if (std::FILE* file = std::fopen("/proc/loadavg", "re")) {
        if (std::fscanf(file, "%lf", &load) != 1)
            load = -1;
        std::fclose(file);
    }
    return load;
}

void Bench::run() {
    const qint64 start = nowNs();
    loadBefore_ = loadAverage();
    for (const QString& name : Measurements) {
        if (!wanted(name))
            continue;
        if (name == QLatin1String("startup")) {
            measureStartup();
            continue;
        }
        for (int run = 1; run <= options_.runs; ++run) {
            QStringList extra;
            if (name == QLatin1String("flood")) {
                // A flood that ran into its time-out is not run again.
                const bool lines = options_.floodLines && !table_.row("flood-lines")->partial;
                const bool random = options_.floodRandom && !table_.row("flood-random")->partial;
                if (!lines && !random)
                    break;
                extra << QStringLiteral("--flood-lines") << QString::number(int(lines))
                      << QStringLiteral("--flood-random") << QString::number(int(random));
            }
            if (!runMeasurement(name, run, extra))
                break;
        }
    }
    loadAfter_ = loadAverage();
    print(double(nowNs() - start) / 1e9);
}

void Bench::print(double seconds) const {
    std::printf("linnet-bench: %s build, platform %s, %d run(s)%s, %ld processor(s), %.0f s, "
                "load average %.1f before and %.1f after\n\n",
                LINNET_BENCH_BUILD_TYPE,
                platform_.isEmpty() ? "(no window run)" : qPrintable(platform_), options_.runs,
                options_.quick ? ", quick (shortened workloads)" : "",
                sysconf(_SC_NPROCESSORS_ONLN), seconds, loadBefore_, loadAfter_);
    table_.print(stdout);
    std::printf("\nMB/s: 10^6 bytes taken through Input a second, from the first byte written to "
                "the frame that\nshows the last one in both views. Latency: from the write of a "
                "line to that frame.\n");
    if (table_.anyPartial())
        std::printf("* a run stopped at its time-out; the figure is a bound, not a measurement.\n");
    if (table_.anyLossy())
        std::printf("! in some run the port dropped received bytes (see the notes).\n");
    if (!figures_.empty()) {
        std::printf("\nOther figures (median, min - max over the runs):\n");
        for (const auto& [name, values] : figures_) {
            const auto [low, high] = std::minmax_element(values.begin(), values.end());
            const bool whole = std::all_of(values.begin(), values.end(),
                                           [](double value) { return value == std::floor(value); });
            const int decimals = whole || *high >= 100 ? 0 : *high >= 1 ? 1 : 2;
            std::printf("- %s: %.*f (%.*f - %.*f)\n", qPrintable(name), decimals, median(values),
                        decimals, *low, decimals, *high);
        }
    }
    if (!notes_.empty()) {
        std::printf("\nNotes:\n");
        for (const auto& [text, runs] : notes_) {
            QString where;
            if (options_.runs > 1 && int(runs.size()) < options_.runs && runs.front() > 0) {
                QStringList numbers;
                for (const int run : runs)
                    numbers << QString::number(run);
                where = QStringLiteral(" (run %1)").arg(numbers.join(QStringLiteral(", ")));
            }
            std::printf("- %s%s\n", qPrintable(text), qPrintable(where));
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    std::optional<Options> options;
    try {
        options = parseOptions(arguments);
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "linnet-bench: %s\n(--help lists the options)\n", error.what());
        return 2;
    }
    if (!options)
        return 0;
    prepareEnvironment();
    try {
        if (!options->child.isEmpty())
            return runChild(argc, argv, *options);
        QCoreApplication app(argc, argv);
        Bench bench(*options);
        bench.run();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "linnet-bench: %s\n", failure.what());
        return 1;
    }
    return 0;
}
