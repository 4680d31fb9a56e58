#pragma once

#include "emulation/Bytes.h"

namespace tqx {

// The four position pairs the emulated mount remembers, each held as the exact text that goes on
// the line ("#" included). They are never decoded: a goto stores what arrived, a get returns it.
enum class PositionField { RaDec16, RaDec32, AzmAlt16, AzmAlt32 };

class MountState
{
public:
    // Start-up values: the star Aldebaran for right ascension/declination.
    static constexpr const char *startRaDec16 = "310C,0BBB#";
    static constexpr const char *startRaDec32 = "310C0500,0BBB0500#";
    static constexpr const char *startAzmAlt16 = "12AB,4000#";
    static constexpr const char *startAzmAlt32 = "12AB0500,40000500#";

    MountState() { setStartValues(); }

    void setStartValues();

    const Bytes &position(PositionField field) const;
    void setPosition(PositionField field, Bytes text);

    Bytes RaDec16;
    Bytes RaDec32;
    Bytes AzmAlt16;
    Bytes AzmAlt32;

private:
    Bytes &slot(PositionField field);
};

} // namespace tqx
