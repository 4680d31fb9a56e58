#pragma once

#include <chrono>
#include <cstdint>

namespace tqx {

// How fast replies reach the client. Fast hands each reply to the transport at once, which is
// what the tests and most users want; Real sends it at the serial line's pace, so that a client's
// partial reads and read timeouts meet what a real line gives them.
enum class LineTiming { Fast, Real };

// The hand control's line: 9600 bit/s, and ten bits a byte (a start bit, eight data bits, a stop
// bit), so about 1.04 ms a byte.
struct SerialLine
{
    static constexpr int baudRate = 9600;
    static constexpr int bitsPerByte = 10;
    static constexpr std::chrono::nanoseconds byteTime {std::int64_t(1'000'000'000) * bitsPerByte
                                                        / baudRate};
};

// How long the hand control takes over a pass-through or motor query on its internal bus, which
// it retries there before answering: a few tens of milliseconds as a rule, up to about 3.5 s when
// a device is slow to answer. Only with real line timing.
struct BusDelay
{
    static constexpr int defaultMs = 50;
    static constexpr int maxMs = 10'000;
};

} // namespace tqx
