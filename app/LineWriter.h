#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tqx {

// Writes lines to a file descriptor on a thread of its own, so that whoever hands it a line never
// waits: not on a pipe that nobody reads, a FIFO that has no reader yet, a full disk or a slow
// terminal. Lines wait in a bounded queue; when it is full, new lines are dropped and counted, and
// the count is reported once the writer has caught up. A destination that fails (closed pipe, no
// space) is reported once and its later lines are discarded.
class LineWriter
{
public:
    // Receives the writer's reports ("... could not be written: ..."); called on the writer's
    // thread.
    using Reporter = std::function<void(const std::string &text)>;

    static constexpr std::size_t defaultCapacity = 4 * 1024 * 1024; // bytes

    // Writes to an open descriptor, which stays open. `name` says what it is in reports
    // ("standard output").
    LineWriter(int fd, std::string name, Reporter reporter = {},
               std::size_t capacity = defaultCapacity);
    // Opens `path` for writing on the writer's thread, so that a FIFO nobody reads yet delays
    // only the lines, not the caller. The file is replaced; an open that fails is reported.
    static std::unique_ptr<LineWriter> openFile(const std::string &path, Reporter reporter = {},
                                                std::size_t capacity = defaultCapacity);
    // Writes to the log file at `path`, already open as `fd`; the descriptor is closed when the
    // writer ends.
    static std::unique_ptr<LineWriter> adoptFile(int fd, const std::string &path,
                                                 Reporter reporter = {},
                                                 std::size_t capacity = defaultCapacity);
    // Finishes within a short time (see finish()).
    ~LineWriter();

    LineWriter(const LineWriter &) = delete;
    LineWriter &operator=(const LineWriter &) = delete;

    // Queues one line; `line` should end with its newline. Never blocks.
    void write(std::string line);

    // Asks the writer to write what is queued and end, without waiting; later lines are not
    // taken. Lets several writers finish at once.
    void beginFinish();
    // Waits until every queued line is written or the time is up. When the time is up, the
    // writer is left to finish on its own (it may be blocked in the system for good), stops
    // after what it is writing, and the lines still queued are lost; returns false then.
    bool finish(std::chrono::milliseconds timeLimit);

    // Lines dropped so far because the queue was full.
    std::uint64_t droppedLines() const;
    // After finish(): the lines that never reached the destination and were not reported yet:
    // dropped since the last report, still queued or half written when the time was up, or
    // handed in once the writer was finishing. 0 once the destination failed, which was
    // reported.
    std::uint64_t linesNotWritten() const;
    // What it writes to, as its reports name it ("standard output", "the log exchange.log").
    const std::string &name() const;
    // True once the destination failed.
    bool failed() const;

    struct Shared; // the queue, shared with the writer's thread for as long as either lives

private:
    LineWriter(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> m_shared;
};

} // namespace tqx
