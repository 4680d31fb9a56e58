// The interpreter against a small model of the command set written apart from it: random byte
// streams, cut into random receive events, with an occasional Reset or Clear.

#include "Exchange.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

using tqx::Bytes;

namespace {

// The model keeps only what decides the bytes on the line.
class Model
{
public:
    // Returns the reply for one receive event, or nothing if no command is answered.
    std::optional<Bytes> receive(const Bytes &bytes)
    {
        buffer += bytes;
        std::optional<Bytes> reply = answer();
        if (reply)
            buffer.clear();
        return reply;
    }

    Bytes buffer;
    Bytes version = "22";

private:
    static Bytes upper(Bytes text)
    {
        for (char &c : text) {
            if ('a' <= c && c <= 'z')
                c = static_cast<char>(c - 32);
        }
        return text;
    }

    std::optional<Bytes> store(Bytes &position, std::size_t digits)
    {
        if (buffer.size() < digits + 1)
            return std::nullopt;
        position = upper(buffer.substr(1, digits)) + "#";
        return "#";
    }

    std::optional<Bytes> answer()
    {
        if (buffer.empty())
            return std::nullopt;
        const std::size_t n = buffer.size();
        switch (buffer[0]) {
        case 'E':
            return raDec16;
        case 'e':
            return raDec32;
        case 'Z':
            return azmAlt16;
        case 'z':
            return azmAlt32;
        case 'R':
            return store(raDec16, 9);
        case 'r':
            return store(raDec32, 17);
        case 'B':
            return store(azmAlt16, 9);
        case 'b':
            return store(azmAlt32, 17);
        case 'M':
            return "#";
        case 'T':
            return n >= 2 ? std::optional<Bytes>("#") : std::nullopt;
        case 'L':
            return "0#";
        case 'J':
            return "1#";
        case 'V':
            return version;
        case 'K':
            return n >= 2 ? std::optional<Bytes>(Bytes {buffer[1], '#'}) : std::nullopt;
        case 'P':
            return n >= 8 ? std::optional<Bytes>("#") : std::nullopt;
        case '?':
            return n == 1 ? std::optional<Bytes>("#") : std::nullopt;
        default:
            return std::nullopt;
        }
    }

    Bytes raDec16 = "310C,0BBB#";
    Bytes raDec32 = "310C0500,0BBB0500#";
    Bytes azmAlt16 = "12AB,4000#";
    Bytes azmAlt32 = "12AB0500,40000500#";
};

char randomByte(std::mt19937 &rng)
{
    // Mostly command letters and hexadecimal digits, so that commands do get answered.
    static const std::string likely = "EeZzRrBbMTLJVKP?0123456789ABCDEFabcdef,#";
    if (std::uniform_int_distribution<int>(0, 9)(rng) < 8)
        return likely[std::uniform_int_distribution<std::size_t>(0, likely.size() - 1)(rng)];
    return static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
}

TEST(Differential, interpreterAgreesWithTheModel)
{
    for (unsigned seed = 1; seed <= 200; ++seed) {
        std::mt19937 rng(seed);
        Exchange x;
        Model model;
        std::uint64_t answered = 0;
        for (int event = 0; event < 300; ++event) {
            const int roll = std::uniform_int_distribution<int>(0, 99)(rng);
            if (roll < 4) {
                x.interpreter.resetBuffer();
                model.buffer.clear();
                continue;
            }
            if (roll < 6) {
                x.interpreter.clearLogs();
                answered = 0;
                continue;
            }
            if (roll < 8) {
                model.version = Bytes(1, randomByte(rng));
                x.display.verText = model.version;
            }
            Bytes bytes;
            const int length = std::uniform_int_distribution<int>(0, 6)(rng);
            for (int i = 0; i < length; ++i)
                bytes += randomByte(rng);

            const Bytes bufferBefore = model.buffer + bytes;
            const std::optional<Bytes> expected = model.receive(bytes);
            const std::size_t writesBefore = x.port.writes.size();
            x.send(bytes);
            if (expected) {
                ++answered;
                ASSERT_EQ(x.port.writes.size(), writesBefore + 1) << "seed " << seed;
                ASSERT_EQ(x.port.writes.back(), *expected) << "seed " << seed;
                ASSERT_EQ(x.display.inputLines.back(), bufferBefore) << "seed " << seed;
            } else {
                ASSERT_EQ(x.port.writes.size(), writesBefore) << "seed " << seed;
            }
            ASSERT_EQ(x.display.commandText, model.buffer) << "seed " << seed;
            ASSERT_EQ(x.interpreter.InputCount(), answered) << "seed " << seed;
            ASSERT_EQ(x.display.respLabel, std::to_string(answered)) << "seed " << seed;
        }
    }
}

} // namespace
