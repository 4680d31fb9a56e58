// Many instances side by side, as a test farm runs them: 50 headless programs started at once,
// each on tcp:0 under its own instance name, each telling the port it bound in its ready file.
// The client then polls `E` on every one, first one instance after another (each answers alone),
// then all at once (every instance has a command waiting at the same moment), and reports the
// 99th percentile of the reply time per instance and the memory each one takes: its resident
// set (VmRSS, which counts the shared libraries in full) and its proportional share (Pss, which
// divides them among the instances). The programs run on the first core and the client on the
// second, as the README's benchmarks do.
//
//   bench_instances [instances=50] [polls=2000] [program=the build's tqx-orbivo-emulator]

#include "BenchProcess.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
const std::string eReply = "310C,0BBB#";
constexpr int waitMs = 10000;

[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "bench_instances: %s\n", what.c_str());
    std::exit(1);
}

using benchprocess::pinToCore;

// A "Name: N kB" line of a file under /proc/PID.
long long procKiB(pid_t pid, const char *file, const char *name)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    const std::string prefix = std::string(name) + ":";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0)
            return std::atoll(line.c_str() + prefix.size());
    }
    return -1;
}

std::string fileText(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// User and system time the process has taken so far, in milliseconds.
double cpuMs(pid_t pid)
{
    const std::string text = fileText("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t end = text.rfind(')'); // the name may hold spaces
    if (end == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(end + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14)
            user = std::stoull(field);
        if (index == 15) {
            system = std::stoull(field);
            break;
        }
    }
    return double(user + system) * 1000.0 / double(::sysconf(_SC_CLK_TCK));
}

// The bound port from a ready file: {"connect":{"address":"127.0.0.1","port":N},...}.
int readyPort(const std::string &text)
{
    const std::size_t connect = text.find("\"connect\":{");
    if (connect == std::string::npos)
        return -1;
    const std::size_t end = text.find('}', connect);
    const std::size_t port = text.find("\"port\":", connect);
    if (port == std::string::npos || port > end)
        return -1;
    return std::atoi(text.c_str() + port + 7);
}

struct Instance
{
    pid_t pid = -1;
    std::string readyFile;
    int port = -1;
    int fd = -1;
    std::vector<double> replyMs;
};

pid_t spawn(const std::vector<std::string> &arguments)
{
    std::vector<std::string> copy = arguments;
    std::vector<char *> argv;
    for (std::string &argument : copy)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        fail("cannot start " + arguments.front());
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        fail("cannot connect to port " + std::to_string(port));
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

// Reads the whole reply, or fails at the deadline.
void receiveReply(const Instance &instance)
{
    char buffer[32];
    std::size_t done = 0;
    while (done < eReply.size()) {
        pollfd ready {instance.fd, POLLIN, 0};
        if (::poll(&ready, 1, waitMs) <= 0)
            fail("no reply from the instance on port " + std::to_string(instance.port));
        const ssize_t n = ::read(instance.fd, buffer + done, eReply.size() - done);
        if (n <= 0)
            fail("the instance on port " + std::to_string(instance.port) + " closed");
        done += static_cast<std::size_t>(n);
    }
    if (std::string(buffer, done) != eReply)
        fail("a wrong reply: " + std::string(buffer, done));
}

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const std::size_t index = std::min(values.size() - 1, std::size_t(fraction * values.size()));
    return values[index];
}

double elapsedMs(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// The per-instance p99s, summarized.
void reportReplies(const char *what, std::vector<Instance> &instances)
{
    std::vector<double> p99s;
    std::vector<double> all;
    for (Instance &instance : instances) {
        p99s.push_back(percentile(instance.replyMs, 0.99));
        all.insert(all.end(), instance.replyMs.begin(), instance.replyMs.end());
        instance.replyMs.clear();
    }
    std::printf("%s: %zu replies; per instance p99 median %.3f ms, worst %.3f ms "
                "(all replies: median %.3f ms, p99 %.3f ms, max %.3f ms)\n",
                what, all.size(), percentile(p99s, 0.5), percentile(p99s, 1.0),
                percentile(all, 0.5), percentile(all, 0.99), percentile(all, 1.0));
}

} // namespace

int main(int argc, char *argv[])
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 50;
    const int polls = argc > 2 ? std::atoi(argv[2]) : 2000;
    const std::string program = argc > 3 ? argv[3] : TQX_EXECUTABLE;
    if (count < 1 || polls < 1)
        fail("usage: bench_instances [instances] [polls] [program]");

    char folderTemplate[] = "/tmp/bench_instances.XXXXXX";
    const char *folder = ::mkdtemp(folderTemplate);
    if (!folder)
        fail("no temporary folder");
    ::setenv("XDG_RUNTIME_DIR", folder, 1);

    // The programs inherit the first core from here; the client moves to the second after.
    pinToCore(0, 0);
    std::vector<Instance> instances(static_cast<std::size_t>(count));
    const auto startedAt = Clock::now();
    for (int i = 0; i < count; ++i) {
        Instance &instance = instances[std::size_t(i)];
        const std::string name = "bench" + std::to_string(i);
        instance.readyFile = std::string(folder) + "/" + name + ".ready";
        instance.pid = spawn({program, "--headless", "--port", "tcp:0", "--instance", name,
                              "--ready-file", instance.readyFile});
    }
    pinToCore(0, 1);
    for (Instance &instance : instances) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
        while (instance.port < 0) {
            struct stat info
            {
            };
            if (::stat(instance.readyFile.c_str(), &info) == 0)
                instance.port = readyPort(fileText(instance.readyFile));
            if (instance.port < 0 && Clock::now() > deadline)
                fail("no ready file " + instance.readyFile);
            if (instance.port < 0)
                ::usleep(1000);
        }
    }
    std::printf("%d instances started at once, all ready after %.0f ms\n", count,
                elapsedMs(startedAt));
    for (Instance &instance : instances)
        instance.fd = connectTo(instance.port);
    double cpuBefore = 0;
    for (const Instance &instance : instances)
        cpuBefore -= cpuMs(instance.pid);

    // One after another: each instance answers with the others idle.
    for (int round = 0; round < polls; ++round) {
        for (Instance &instance : instances) {
            const auto sent = Clock::now();
            if (::write(instance.fd, "E", 1) != 1)
                fail("cannot send");
            receiveReply(instance);
            instance.replyMs.push_back(elapsedMs(sent));
        }
    }
    reportReplies("one after another", instances);

    // All at once: every instance has a command at the same moment, on the one core they share.
    const int burstRounds = std::max(1, polls / 4);
    for (int round = 0; round < burstRounds; ++round) {
        const auto sent = Clock::now();
        for (Instance &instance : instances) {
            if (::write(instance.fd, "E", 1) != 1)
                fail("cannot send");
        }
        std::vector<bool> answered(instances.size(), false);
        std::size_t left = instances.size();
        std::vector<pollfd> waiting;
        while (left > 0) {
            waiting.clear();
            for (const Instance &instance : instances)
                waiting.push_back({instance.fd, POLLIN, 0});
            if (::poll(waiting.data(), waiting.size(), waitMs) <= 0)
                fail("an instance stopped answering");
            for (std::size_t i = 0; i < instances.size(); ++i) {
                if (answered[i] || !(waiting[i].revents & POLLIN))
                    continue;
                receiveReply(instances[i]);
                instances[i].replyMs.push_back(elapsedMs(sent));
                answered[i] = true;
                --left;
            }
        }
    }
    reportReplies("all at once", instances);
    double cpuUsed = cpuBefore;
    for (const Instance &instance : instances)
        cpuUsed += cpuMs(instance.pid);
    const double replies = double(count) * double(polls + burstRounds);
    std::printf("the instances' processor time: %.1f us a reply (%.0f ms in all, idle time "
                "included)\n",
                cpuUsed * 1000.0 / replies, cpuUsed);

    std::vector<double> rss;
    std::vector<double> pss;
    for (const Instance &instance : instances) {
        rss.push_back(double(procKiB(instance.pid, "status", "VmRSS")));
        pss.push_back(double(procKiB(instance.pid, "smaps_rollup", "Pss")));
    }
    double pssTotal = 0;
    for (const double kib : pss)
        pssTotal += kib;
    std::printf("memory per instance: VmRSS median %.0f KiB, max %.0f KiB; Pss median %.0f KiB, "
                "max %.0f KiB; all %d instances together %.1f MiB (sum of Pss)\n",
                percentile(rss, 0.5), percentile(rss, 1.0), percentile(pss, 0.5),
                percentile(pss, 1.0), count, pssTotal / 1024);

    int unclean = 0;
    for (Instance &instance : instances) {
        ::close(instance.fd);
        ::kill(instance.pid, SIGTERM);
    }
    for (Instance &instance : instances) {
        int status = 0;
        ::waitpid(instance.pid, &status, 0);
        struct stat info
        {
        };
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0
            || ::stat(instance.readyFile.c_str(), &info) == 0)
            ++unclean;
    }
    ::rmdir(folder);
    if (unclean > 0)
        fail(std::to_string(unclean) + " instances did not end cleanly");
    return 0;
}
