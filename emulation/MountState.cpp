#include "emulation/MountState.h"

namespace tqx {

void MountState::setStartValues()
{
    RaDec16 = startRaDec16;
    RaDec32 = startRaDec32;
    AzmAlt16 = startAzmAlt16;
    AzmAlt32 = startAzmAlt32;
}

const Bytes &MountState::position(PositionField field) const
{
    return const_cast<MountState *>(this)->slot(field);
}

void MountState::setPosition(PositionField field, Bytes text) { slot(field) = std::move(text); }

Bytes &MountState::slot(PositionField field)
{
    switch (field) {
    case PositionField::RaDec16:
        return RaDec16;
    case PositionField::RaDec32:
        return RaDec32;
    case PositionField::AzmAlt16:
        return AzmAlt16;
    case PositionField::AzmAlt32:
        break;
    }
    return AzmAlt32;
}

} // namespace tqx
