#pragma once

#include "emulation/BusDevice.h"
#include "emulation/MountPosition.h"

namespace tqx {

// One of the two motor controllers: 16 drives azimuth (or right ascension), 17 altitude (or
// declination). Positions, gotos and slews of the axis go to the mount position, which moves
// both axes over time.
class MotorController : public BusDevice
{
public:
    // Newer motor controllers answer the version query with four bytes; a client asking for two
    // reads 7.15.
    static constexpr std::array<std::uint8_t, 4> firmwareVersion {7, 15, 32, 78};
    // Autoguide rate, 0 to 255 for 0 to 100 % of the sidereal rate: about half.
    static constexpr std::uint8_t startGuideRate = 0x80;

    MotorController(MountPosition &mount, MountPosition::Axis axis);

    std::optional<Bytes> answer(const Request &request) override;

private:
    // The commands only some models' motor controllers know: levelling to the index switches,
    // and periodic-error correction on the right ascension (or azimuth) motor.
    std::optional<Bytes> answerLevelling(const Request &request);
    std::optional<Bytes> answerPeriodicError(const Request &request);
    std::optional<Bytes> answerCordWrap(const Request &request);

    MountPosition &m_mount;
    MountPosition::Axis m_axis;
    std::uint8_t m_guideRate = startGuideRate;
    // Cord-wrap protection, which only the azimuth axis has.
    bool m_cordWrapEnabled = false;
    std::uint32_t m_cordWrapPosition = 0;
};

} // namespace tqx
