#pragma once

#include "emulation/BusCommandTable.h"
#include "emulation/Bytes.h"

#include <array>
#include <cstdint>
#include <optional>

namespace tqx {

// A device on the hand control's internal bus, reached through the "P" pass-through command.
class BusDevice
{
public:
    struct Request
    {
        std::uint8_t command;
        std::array<std::uint8_t, 3> data; // unused bytes are 0
    };

    virtual ~BusDevice() = default;

    // The data bytes the device answers, or nothing when it does not know the command. The bus
    // fits the answer to the length the client asked for.
    virtual std::optional<Bytes> answer(const Request &request) = 0;

    // The firmware version query every device answers.
    static constexpr std::uint8_t versionCommand = busVersionCommand;
};

} // namespace tqx
