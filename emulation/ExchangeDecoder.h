#pragma once

#include "emulation/Profile.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tqx {

// What the decoder needs to know of the hand control that answered: which command set, and the
// few settings that change what the same bytes mean.
struct DecodeContext
{
    Profile profile = Profile::Basic;
    // Names the motor axes: right ascension and declination, or azimuth and altitude.
    bool equatorialMount = true;
    // The firmware answers "V" in six hexadecimal digits and numbers its models that way.
    bool hexVersion = false;
    // The firmware answers "v", "i" and "I" (5.28 on).
    bool firmware528 = false;

    // One byte, for logs that keep the context with every exchange.
    std::uint8_t packed() const;
    static DecodeContext unpacked(std::uint8_t bits);
    bool operator==(const DecodeContext &) const = default;
};

// Says in one line of plain words and units what a command, a reply or bytes left unanswered
// mean: "goto RA 05h30m00s Dec +20 00'00\"", "version 4.21", "pass-through to the azimuth motor:
// get firmware version (2 bytes)". It looks commands up in the same tables the interpreter
// answers from, so the two cannot disagree. It accepts any bytes at all and never throws: bytes
// that are not what a command or reply should be are described by what is wrong with them.
class ExchangeDecoder
{
public:
    explicit ExchangeDecoder(DecodeContext context = {});

    std::string command(std::string_view bytes) const;
    // The reply is read as the answer to `command`.
    std::string reply(std::string_view command, std::string_view reply) const;
    // "<command> -> <reply>", for logs that put an exchange on one line.
    std::string exchange(std::string_view command, std::string_view reply) const;
    // Bytes that left the buffer without an answer: an unknown command, an incomplete one.
    std::string unanswered(std::string_view bytes) const;
    // What is wrong with the form of a whole command the hand control knows, which it may
    // acknowledge all the same: a position that is not hexadecimal digits ("'G' at byte 5 is not
    // a hexadecimal digit"), a pass-through whose length byte is not the one its device command
    // takes. Empty when nothing is, or when the bytes are no whole known command.
    std::string commandProblem(std::string_view bytes) const;

    // A position pair as sent or stored, "XXXX,YYYY" or "XXXXXXXX,YYYYYYYY" with or without the
    // "#" behind it: "RA 05h30m00s Dec +20 00'00\"" or "Az 123 27'00\" Alt +45 00'00\"".
    static std::string positionPair(std::string_view text, bool raDec);
    // A tracking-mode byte: "2: equatorial north".
    static std::string trackingMode(std::uint8_t mode);
    // The eight bytes of a site as "W" sends it: "48 51'24\" N, 2 21'08\" E".
    static std::string site(std::string_view bytes);
    // The eight bytes of a date and time as "I" sends it (zone in quarter hours):
    // "2024-11-12 21:45:30 UTC+01:00".
    static std::string dateTime(std::string_view bytes);

private:
    DecodeContext m_context;
};

} // namespace tqx
