#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tqx {

enum class VersionFormat;

// What a model byte ("m") tells a client about the mount: its kind and which of the motor
// controllers' optional features it has. Clients decide from it whether to read the pier side
// and whether to offer periodic-error correction, so the hand control answers those commands
// only on the models that have them.
struct MountModel
{
    std::uint8_t number;
    std::string_view name;
    bool equatorial;
    // Periodic-error correction on the right ascension (or azimuth) motor, with the worm's
    // index switch it needs.
    bool periodicErrorCorrection;
    // Index switches on both axes that levelling moves them to.
    bool homeSwitches;
};

// The models of a version format's family, in the order of their numbers. The two families
// number their mounts differently.
std::span<const MountModel> mountModels(VersionFormat format);

// The model of the family, or nullptr for a number the family does not list.
const MountModel *findMountModel(VersionFormat format, std::uint8_t number);

// How the hand control treats a model byte: a listed model as the table says; an unknown one
// the way the family's clients read it (the binary family's as a fork mount without optional
// features, the hexadecimal family's as an equatorial mount).
MountModel mountModelOrDefault(VersionFormat format, std::uint8_t number);

} // namespace tqx
