// A soak run: the headless program, as a separate process, answers millions of exchanges over
// TCP and over the virtual port while its resident memory is sampled, so that memory that grows
// with the exchanges shows. The client sends the full profile's `e` a thousand at a time and
// reads every reply; the program writes its lines to standard output and a log, both /dev/null.
// The program runs on the first core and the client on the second, as the README's benchmarks do.
//
//   bench_soak [exchanges=10000000] [program=the build's tqx-orbivo-emulator] [tcp|virtual|both]

#include "BenchProcess.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char **environ;

namespace {

constexpr int batch = 1000; // commands a write
constexpr int replyLength = 18; // `e` in the full profile
constexpr long long sampleEvery = 1'000'000;

[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "bench_soak: %s\n", what.c_str());
    std::exit(1);
}

using benchprocess::pinToCore;
using benchprocess::readFully;

long long residentKiB(pid_t pid)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    FILE *status = std::fopen(path.c_str(), "r");
    if (!status)
        return -1;
    char line[256];
    long long kib = -1;
    while (std::fgets(line, sizeof line, status)) {
        if (std::sscanf(line, "VmRSS: %lld kB", &kib) == 1)
            break;
    }
    std::fclose(status);
    return kib;
}

struct Program
{
    pid_t pid = -1;
    std::string firstLine;
};

// Starts the program with its standard output into a pipe, reads the first line (where it
// listens), then sends the rest to /dev/null.
Program start(const std::string &program, const char *port)
{
    int output[2];
    if (::pipe(output) != 0)
        fail("no pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    std::vector<std::string> arguments {program,     "--headless", "--port", port,
                                        "--profile", "full",       "--log",  "/dev/null"};
    std::vector<char *> argv;
    for (std::string &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    Program started;
    if (posix_spawn(&started.pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        fail("cannot start " + program);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    pinToCore(started.pid, 0);
    char c;
    while (::read(output[0], &c, 1) == 1 && c != '\n')
        started.firstLine += c;
    // The rest of its output is read and thrown away by a child of ours, as a harness would.
    if (::fork() == 0) {
        char buffer[65536];
        while (::read(output[0], buffer, sizeof buffer) > 0) { }
        ::_exit(0);
    }
    ::close(output[0]);
    return started;
}

void stop(Program &program)
{
    ::kill(program.pid, SIGTERM);
    int status = 0;
    ::waitpid(program.pid, &status, 0);
}

bool writeFully(int fd, const char *bytes, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Drives `exchanges` exchanges over `fd`, sampling the program's memory; prints the samples and
// returns the growth from the first sample after warming up to the largest later one.
long long soak(const char *name, int fd, pid_t pid, long long exchanges)
{
    const std::string commands(batch, 'e');
    std::vector<char> replies(std::size_t(batch) * replyLength);
    std::printf("%s: exchanges, resident KiB, exchanges per second\n", name);
    long long baseline = -1, largest = 0;
    auto sampleStart = std::chrono::steady_clock::now();
    for (long long done = 0; done < exchanges; done += batch) {
        if (!writeFully(fd, commands.data(), commands.size())
            || !readFully(fd, replies.data(), replies.size()))
            fail(std::string(name) + ": the program stopped answering after " + std::to_string(done)
                 + " exchanges");
        if ((done + batch) % sampleEvery == 0) {
            const auto now = std::chrono::steady_clock::now();
            const double seconds = std::chrono::duration<double>(now - sampleStart).count();
            sampleStart = now;
            const long long kib = residentKiB(pid);
            std::printf("  %10lld  %8lld  %9.0f\n", done + batch, kib, sampleEvery / seconds);
            std::fflush(stdout);
            if (baseline < 0)
                baseline = kib;
            largest = std::max(largest, kib);
        }
    }
    return baseline < 0 ? 0 : largest - baseline;
}

long long soakTcp(const std::string &program, long long exchanges)
{
    Program started = start(program, "tcp:0");
    const std::size_t colon = started.firstLine.rfind(':');
    if (started.firstLine.rfind("Listening on TCP", 0) != 0 || colon == std::string::npos)
        fail("unexpected first line: " + started.firstLine);
    const int port = std::atoi(started.firstLine.c_str() + colon + 1);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        fail("cannot connect");
    const long long growth = soak("TCP", fd, started.pid, exchanges);
    ::close(fd);
    stop(started);
    return growth;
}

long long soakVirtual(const std::string &program, long long exchanges)
{
    Program started = start(program, "virtual");
    const std::size_t or_ = started.firstLine.rfind(" or ");
    const std::size_t open = started.firstLine.find("clients open ");
    if (open == std::string::npos)
        fail("unexpected first line: " + started.firstLine);
    const std::string device = or_ != std::string::npos
            ? started.firstLine.substr(or_ + 4)
            : started.firstLine.substr(open + std::strlen("clients open "));
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        fail("cannot open " + device);
    termios settings {};
    ::tcgetattr(fd, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(fd, TCSANOW, &settings);
    const long long growth = soak("virtual port", fd, started.pid, exchanges);
    ::close(fd);
    stop(started);
    return growth;
}

} // namespace

int main(int argc, char *argv[])
{
    const long long exchanges = argc > 1 ? std::atoll(argv[1]) : 10'000'000;
    const std::string program = argc > 2 ? argv[2] : TQX_EXECUTABLE;
    const std::string which = argc > 3 ? argv[3] : "both";
    pinToCore(0, 1);
    if (which == "tcp" || which == "both")
        std::printf("TCP: memory grew %lld KiB after the first million\n\n",
                    soakTcp(program, exchanges));
    if (which == "virtual" || which == "both")
        std::printf("virtual port: memory grew %lld KiB after the first million\n",
                    soakVirtual(program, exchanges));
    return 0;
}
