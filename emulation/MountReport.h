#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tqx {

class CommandInterpreter;

// What the mount view shows, read from the interpreter at one moment: labelled lines of text and
// the marks of a sky picture. Two reports compare equal when they show the same, so a view
// redraws only when something changed.
struct MountReport
{
    struct Row
    {
        std::string label;
        std::string text;
        bool operator==(const Row &) const = default;
    };
    // A direction in azimuth (from north through east) and altitude, in radians.
    struct Mark
    {
        double azimuth = 0;
        double altitude = 0;
        std::string label; // names a mark when there is more than one
        bool operator==(const Mark &) const = default;
    };

    std::vector<Row> rows;
    std::vector<Mark> pointings;
    std::optional<Mark> target; // while a goto is under way
    std::vector<Mark> path; // from the pointing to the target

    bool operator==(const MountReport &) const = default;

    // The full profile: the moving mount through the stored site and clock. The basic profile:
    // the stored positions decoded, as there is neither site nor clock.
    static MountReport of(const CommandInterpreter &interpreter);
};

} // namespace tqx
