// A client that waits for each reply before sending its next command must get the same bytes back
// however the line happens to cut its commands into receive events.

#include "Exchange.h"
#include "FullExchange.h"
#include "emulation/FullCommandTable.h"

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

// One well-formed command of the full profile, arguments filled with arbitrary bytes; frames of
// the pass-through mostly go to the devices on the bus and ask for 0-8 bytes.
Bytes randomFullCommand(std::mt19937 &rng)
{
    const auto &table = tqx::fullCommandTable();
    const tqx::FullCommand &command
            = table[std::uniform_int_distribution<std::size_t>(0, table.size() - 1)(rng)];
    Bytes bytes = command.letter + randomBytes(rng, command.length - 1);
    if (command.letter == 'P' && std::uniform_int_distribution<int>(0, 3)(rng) > 0) {
        static const std::string devices = "\x10\x11\x12\xB0\xB2";
        static const std::string commands = "\x01\x03\x04\x13\x17\x24\x33\x37\x38\x3B\x47\xFE";
        bytes[2] = devices[std::uniform_int_distribution<std::size_t>(0, devices.size() - 1)(rng)];
        bytes[3]
                = commands[std::uniform_int_distribution<std::size_t>(0, commands.size() - 1)(rng)];
        bytes[7] = static_cast<char>(std::uniform_int_distribution<int>(0, 8)(rng));
    }
    return bytes;
}

Bytes hexDigits(std::mt19937 &rng, std::size_t count)
{
    static const char digits[] = "0123456789ABCDEFabcdef";
    Bytes text;
    for (std::size_t i = 0; i < count; ++i)
        text += digits[std::uniform_int_distribution<std::size_t>(0, 21)(rng)];
    return text;
}

// One command that moves or reads the moving mount, with valid arguments: gotos and syncs in
// both systems, tracking modes, cancels, and motor-controller positions, gotos and slews.
Bytes randomMountCommand(std::mt19937 &rng)
{
    static const std::string reads = "EeZzLpt";
    switch (std::uniform_int_distribution<int>(0, 9)(rng)) {
    case 0:
    case 1:
        return Bytes(1, reads[std::uniform_int_distribution<std::size_t>(0, 6)(rng)]);
    case 2: {
        const char letter = "RBS"[std::uniform_int_distribution<int>(0, 2)(rng)];
        return letter + hexDigits(rng, 4) + "," + hexDigits(rng, 4);
    }
    case 3: {
        const char letter = "rbs"[std::uniform_int_distribution<int>(0, 2)(rng)];
        return letter + hexDigits(rng, 8) + "," + hexDigits(rng, 8);
    }
    case 4:
        return tqx::bytesOf({'T', std::uniform_int_distribution<int>(0, 3)(rng)});
    case 5:
        return "M";
    default: {
        static const int commands[] = {1, 4, 6, 7, 19, 23, 36, 37};
        const int command = commands[std::uniform_int_distribution<int>(0, 7)(rng)];
        const int replyLength = command == 1 ? 3 : command == 19 ? 1 : 0;
        return tqx::bytesOf({'P', 4, std::uniform_int_distribution<int>(16, 17)(rng), command,
                             std::uniform_int_distribution<int>(0, 255)(rng),
                             std::uniform_int_distribution<int>(0, 255)(rng),
                             std::uniform_int_distribution<int>(0, 255)(rng), replyLength});
    }
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

// Firmware that knows every command, with every accessory on the bus.
tqx::HandControlSettings everyAccessoryOn528()
{
    tqx::HandControlSettings settings;
    settings.version = "5.28";
    settings.gpsPresent = true;
    settings.clockPresent = true;
    return settings;
}

// Plays the client: sends each command in the given pieces and returns everything written back.
// Each command must be answered exactly when its last piece has arrived.
Bytes play(const std::vector<Bytes> &commands, std::mt19937 *splitter,
           tqx::Profile profile = tqx::Profile::Basic)
{
    FullExchange x(everyAccessoryOn528());
    x.interpreter.setProfile(profile);
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

TEST(SplitProperty, fullProfileRepliesDoNotDependOnHowBytesAreSplit)
{
    using tqx::Profile;
    for (unsigned seed = 1; seed <= 300; ++seed) {
        std::mt19937 rng(seed);
        std::vector<Bytes> commands;
        for (int i = 0; i < 40; ++i)
            commands.push_back(randomFullCommand(rng));

        const Bytes whole = play(commands, nullptr, Profile::Full);
        std::mt19937 splitter(seed * 7919u);
        const Bytes split = play(commands, &splitter, Profile::Full);
        // The full profile answers every complete command of an event, so even all commands in
        // one write get the same bytes back.
        const Bytes allAtOnce = [&] {
            FullExchange x(everyAccessoryOn528());
            Bytes stream;
            for (const Bytes &command : commands)
                stream += command;
            x.send(stream);
            EXPECT_EQ(x.interpreter.InputCount(), commands.size());
            return x.port.written;
        }();
        ASSERT_EQ(split, whole) << "seed " << seed;
        ASSERT_EQ(allAtOnce, whole) << "seed " << seed;
        if (HasFailure())
            FAIL() << "seed " << seed;
    }
}

TEST(SplitProperty, movingMountRepliesDoNotDependOnHowBytesAreSplit)
{
    for (unsigned seed = 1; seed <= 100; ++seed) {
        std::mt19937 rng(seed);
        std::vector<Bytes> commands;
        std::vector<std::int64_t> pauses; // time passing after each command
        for (int i = 0; i < 60; ++i) {
            commands.push_back(randomMountCommand(rng));
            pauses.push_back(std::uniform_int_distribution<std::int64_t>(0, 4'000)(rng));
        }
        const auto play = [&](std::mt19937 *splitter) {
            FullExchange x(everyAccessoryOn528());
            for (std::size_t i = 0; i < commands.size(); ++i) {
                const std::vector<Bytes> pieces = splitter ? randomSplit(*splitter, commands[i])
                                                           : std::vector<Bytes> {commands[i]};
                for (const Bytes &piece : pieces)
                    x.send(piece);
                x.wait(pauses[i]);
            }
            EXPECT_EQ(x.interpreter.InputCount(), commands.size());
            return x.port.written;
        };
        const Bytes whole = play(nullptr);
        std::mt19937 splitter(seed * 104729u);
        ASSERT_EQ(play(&splitter), whole) << "seed " << seed;
        if (HasFailure())
            FAIL() << "seed " << seed;
    }
}

} // namespace
