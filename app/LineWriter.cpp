#include "app/LineWriter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace tqx {

namespace {
constexpr std::chrono::milliseconds gatherTime(5);
// Lines are written in pieces no larger than a pipe takes whole, so that when the program ends
// with a reader that stopped reading, the lines that went into the pipe are exactly the pieces
// that were written, and the rest can be counted.
constexpr std::size_t writePiece = PIPE_BUF;

std::uint64_t linesIn(const char *bytes, std::size_t size)
{
    return static_cast<std::uint64_t>(std::count(bytes, bytes + size, '\n'));
}
} // namespace

struct LineWriter::Shared
{
    std::string name;
    std::string path; // opened by the writer's thread when set
    int fd = -1;
    bool ownsFd = false; // closed when the writer ends
    Reporter reporter;
    std::size_t capacity = 0;

    std::mutex mutex;
    std::condition_variable wake; // a line arrived, or the writer is asked to finish
    std::condition_variable idle; // the queue was emptied, or the writer ended
    std::deque<std::string> queue;
    std::size_t queuedBytes = 0;
    std::uint64_t droppedSinceReport = 0;
    std::uint64_t droppedTotal = 0;
    bool finishing = false;
    bool ended = false;
    std::atomic<bool> abandoned {false}; // the time to finish was up: write nothing more
    std::atomic<std::uint64_t> batchLines {0}; // lines taken from the queue to write now
    std::atomic<std::uint64_t> batchLinesWritten {0};
    std::uint64_t refusedWhileFinishing = 0;
    std::uint64_t notWritten = 0; // counted by finish()
    std::atomic<bool> failed {false};
    std::thread thread;

    void report(const std::string &text) const
    {
        if (reporter)
            reporter(text);
    }

    void fail(const std::string &what)
    {
        if (failed.exchange(true))
            return;
        report(what + " (" + std::strerror(errno) + "); later lines are not written to it");
    }

    bool openPath()
    {
        do {
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0)
            fail("the log " + path + " could not be opened");
        return fd >= 0;
    }

    void writeAll(const std::string &bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size() && !failed && !abandoned) {
            const ssize_t n
                    = ::write(fd, bytes.data() + done, std::min(writePiece, bytes.size() - done));
            if (n > 0) {
                batchLinesWritten += linesIn(bytes.data() + done, static_cast<std::size_t>(n));
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // A descriptor inherited in non-blocking mode: wait here, on this thread.
                pollfd ready {fd, POLLOUT, 0};
                ::poll(&ready, 1, -1);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                if (n == 0)
                    errno = EIO;
                fail(name + " could not be written");
            }
        }
    }

    void run()
    {
        // A closed pipe is an error to report, not a reason for the process to die: the signal
        // that a write to it raises is held back on this thread, and the write fails instead.
        sigset_t brokenPipe;
        sigemptyset(&brokenPipe);
        sigaddset(&brokenPipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);

        if (!path.empty())
            openPath();
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return !queue.empty() || finishing; });
            if (queue.empty() || abandoned)
                break;
            std::string batch;
            batch.reserve(queuedBytes);
            for (const std::string &line : queue)
                batch += line;
            batchLines = queue.size();
            batchLinesWritten = 0;
            queue.clear();
            queuedBytes = 0;
            lock.unlock();
            writeAll(batch);
            lock.lock();
            batchLines = 0;
            batchLinesWritten = 0;
            if (queue.empty() && droppedSinceReport > 0 && !failed) {
                const std::uint64_t dropped = std::exchange(droppedSinceReport, 0);
                lock.unlock();
                report(std::to_string(dropped) + (dropped == 1 ? " line was" : " lines were")
                       + " not written to " + name + " because it was not read in time");
                lock.lock();
            }
            if (queue.empty())
                idle.notify_all();
            if (!finishing) {
                // Let lines gather for a moment: a writer woken for every line would cost the
                // thread that answers a system call and a core for each exchange.
                lock.unlock();
                std::this_thread::sleep_for(gatherTime);
                lock.lock();
            }
        }
        if (ownsFd && fd >= 0)
            ::close(fd);
        ended = true;
        idle.notify_all();
    }
};

LineWriter::LineWriter(std::shared_ptr<Shared> shared)
    : m_shared(std::move(shared))
{
    m_shared->thread = std::thread([shared = m_shared] { shared->run(); });
}

LineWriter::LineWriter(int fd, std::string name, Reporter reporter, std::size_t capacity)
    : LineWriter([&] {
        auto shared = std::make_shared<Shared>();
        shared->fd = fd;
        shared->name = std::move(name);
        shared->reporter = std::move(reporter);
        shared->capacity = capacity;
        return shared;
    }())
{
}

std::unique_ptr<LineWriter> LineWriter::openFile(const std::string &path, Reporter reporter,
                                                 std::size_t capacity)
{
    auto shared = std::make_shared<Shared>();
    shared->path = path;
    shared->ownsFd = true;
    shared->name = "the log " + path;
    shared->reporter = std::move(reporter);
    shared->capacity = capacity;
    return std::unique_ptr<LineWriter>(new LineWriter(std::move(shared)));
}

std::unique_ptr<LineWriter> LineWriter::adoptFile(int fd, const std::string &path,
                                                  Reporter reporter, std::size_t capacity)
{
    auto shared = std::make_shared<Shared>();
    shared->fd = fd;
    shared->ownsFd = true;
    shared->name = "the log " + path;
    shared->reporter = std::move(reporter);
    shared->capacity = capacity;
    return std::unique_ptr<LineWriter>(new LineWriter(std::move(shared)));
}

LineWriter::~LineWriter() { finish(std::chrono::milliseconds(500)); }

void LineWriter::write(std::string line)
{
    Shared &shared = *m_shared;
    if (shared.failed)
        return;
    {
        std::lock_guard lock(shared.mutex);
        if (shared.finishing) {
            ++shared.refusedWhileFinishing;
            return;
        }
        if (shared.queuedBytes + line.size() > shared.capacity) {
            ++shared.droppedSinceReport;
            ++shared.droppedTotal;
            return;
        }
        shared.queuedBytes += line.size();
        shared.queue.push_back(std::move(line));
    }
    shared.wake.notify_one();
}

void LineWriter::beginFinish()
{
    Shared &shared = *m_shared;
    {
        std::lock_guard lock(shared.mutex);
        shared.finishing = true;
    }
    shared.wake.notify_one();
}

bool LineWriter::finish(std::chrono::milliseconds timeLimit)
{
    Shared &shared = *m_shared;
    std::unique_lock lock(shared.mutex);
    if (!shared.thread.joinable())
        return shared.ended;
    shared.finishing = true;
    shared.wake.notify_one();
    const bool ended = shared.idle.wait_for(lock, timeLimit, [&] { return shared.ended; });
    if (!ended) {
        // Blocked in the system: what it has not written is counted now, and it writes nothing
        // more once the system lets it go; it ends with the process.
        shared.abandoned = true;
        shared.notWritten = shared.queue.size() + shared.batchLines - shared.batchLinesWritten;
        shared.queue.clear();
        shared.queuedBytes = 0;
    }
    shared.notWritten += shared.droppedSinceReport;
    shared.droppedSinceReport = 0;
    lock.unlock();
    if (ended)
        shared.thread.join();
    else
        shared.thread.detach();
    return ended;
}

const std::string &LineWriter::name() const { return m_shared->name; }

std::uint64_t LineWriter::linesNotWritten() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->failed ? 0 : m_shared->notWritten + m_shared->refusedWhileFinishing;
}

std::uint64_t LineWriter::droppedLines() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->droppedTotal;
}

bool LineWriter::failed() const { return m_shared->failed; }

} // namespace tqx
