#include "startup.h"

#include "probes.h"

#include <QByteArray>
#include <QList>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace bench {

namespace {

constexpr int FirstPaintTimeoutMs = 10000;

// The bench's own environment with the program's variables set for one timed start.
QList<QByteArray> childEnvironment() {
    QList<QByteArray> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const QByteArray variable(*entry);
        if (variable.startsWith("QT_QPA_PLATFORM=") ||
            variable.startsWith("LINNET_REPORT_FIRST_PAINT=") ||
            variable.startsWith("LINNET_QUIT_AFTER_MS="))
            continue;
        environment.append(variable);
    }
    // The start-up figure is the one on a display: the X server in DISPLAY.
    environment.append("QT_QPA_PLATFORM=xcb");
    environment.append("LINNET_REPORT_FIRST_PAINT=1");
    // Quit right after the first paint; the time is only a safety net.
    environment.append("LINNET_QUIT_AFTER_MS=10000");
    return environment;
}

std::string systemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

StartupSample measureStartupOnce(const QString& program) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error(systemError("pipe"));

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);

    const QList<QByteArray> environment = childEnvironment();
    std::vector<char*> envp;
    for (const QByteArray& variable : environment)
        envp.push_back(const_cast<char*>(variable.constData()));
    envp.push_back(nullptr);
    const QByteArray path = program.toLocal8Bit();
    char* argv[] = {const_cast<char*>(path.constData()), nullptr};

    pid_t child = -1;
    const qint64 startNs = nowNs();
    const int spawned =
        ::posix_spawn(&child, path.constData(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        errno = spawned;
        throw std::runtime_error(systemError("starting the program"));
    }

    std::string output;
    std::optional<StartupSample> sample;
    while (!sample) {
        const qint64 leftMs = FirstPaintTimeoutMs - (nowNs() - startNs) / 1'000'000;
        pollfd p{pipeFds[0], POLLIN, 0};
        if (leftMs <= 0 || ::poll(&p, 1, int(leftMs)) <= 0)
            break;
        char buffer[4096];
        const ssize_t count = ::read(pipeFds[0], buffer, sizeof buffer);
        if (count <= 0)
            break;
        const qint64 readNs = nowNs();
        output.append(buffer, size_t(count));
        const size_t at = output.find("first-paint ");
        if (at != std::string::npos && output.find('\n', at) != std::string::npos) {
            StartupSample found;
            found.toFirstPaintMs = double(readNs - startNs) / 1e6;
            found.reportedMs = std::stod(output.substr(at + 12));
            sample = found;
        }
    }
    if (!sample)
        ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(pipeFds[0]);
    if (!sample)
        throw std::runtime_error("the program reported no first paint; it printed: " + output);
    return *sample;
}

} // namespace bench
