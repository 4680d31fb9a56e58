// A client that waits for each reply before sending its next command must get the same bytes back
// however the line happens to cut its commands into receive events.

#include "Exchange.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using tqx::Bytes;

namespace {

Bytes randomBytes(std::mt19937 &rng, std::size_t count)
{
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes bytes;
    for (std::size_t i = 0; i < count; ++i)
        bytes += static_cast<char>(byte(rng));
    return bytes;
}

// One well-formed command of the set, arguments filled with arbitrary bytes.
Bytes randomCommand(std::mt19937 &rng)
{
    static const std::string single = "EeZzMLJV?";
    std::uniform_int_distribution<int> kind(0, 8);
    switch (kind(rng)) {
    case 0:
        return Bytes(1, single[std::uniform_int_distribution<std::size_t>(0, 8)(rng)]);
    case 1:
        return "R" + randomBytes(rng, 9);
    case 2:
        return "r" + randomBytes(rng, 17);
    case 3:
        return "B" + randomBytes(rng, 9);
    case 4:
        return "b" + randomBytes(rng, 17);
    case 5:
        return "T" + randomBytes(rng, 1);
    case 6:
        return "K" + randomBytes(rng, 1);
    case 7:
        return "P" + randomBytes(rng, 7);
    default:
        return "E";
    }
}

std::vector<Bytes> randomSplit(std::mt19937 &rng, const Bytes &command)
{
    std::vector<Bytes> pieces;
    std::size_t at = 0;
    while (at < command.size()) {
        const std::size_t length
                = std::uniform_int_distribution<std::size_t>(1, command.size() - at)(rng);
        pieces.push_back(command.substr(at, length));
        at += length;
    }
    return pieces;
}

// Plays the client: sends each command in the given pieces and returns everything written back.
// Each command must be answered exactly when its last piece has arrived.
Bytes play(const std::vector<Bytes> &commands, std::mt19937 *splitter)
{
    Exchange x;
    for (const Bytes &command : commands) {
        const std::vector<Bytes> pieces
                = splitter ? randomSplit(*splitter, command) : std::vector<Bytes> {command};
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            const std::size_t writesBefore = x.port.writes.size();
            x.send(pieces[i]);
            const bool last = i + 1 == pieces.size();
            EXPECT_EQ(x.port.writes.size(), writesBefore + (last ? 1 : 0))
                    << "command of " << command.size() << " bytes, piece " << i;
        }
        EXPECT_EQ(x.interpreter.CommandBuffer(), "");
    }
    return x.port.written;
}

TEST(SplitProperty, repliesDoNotDependOnHowBytesAreSplit)
{
    for (unsigned seed = 1; seed <= 300; ++seed) {
        std::mt19937 rng(seed);
        std::vector<Bytes> commands;
        for (int i = 0; i < 40; ++i)
            commands.push_back(randomCommand(rng));

        const Bytes whole = play(commands, nullptr);
        std::mt19937 splitter(seed * 7919u);
        const Bytes split = play(commands, &splitter);
        const Bytes byteByByte = [&] {
            Exchange x;
            for (const Bytes &command : commands) {
                for (char byte : command)
                    x.send(Bytes(1, byte));
            }
            return x.port.written;
        }();
        ASSERT_EQ(split, whole) << "seed " << seed;
        ASSERT_EQ(byteByByte, whole) << "seed " << seed;
        if (HasFailure())
            FAIL() << "seed " << seed;
    }
}

} // namespace
