#pragma once

#include <algorithm>

namespace tqx {

// RTF measures lengths in twips (1/1440 inch, 1/20 point). Qt's text layout measures margins,
// indents and tab stops in pixels at the logical resolution of a desktop screen, 96 per inch, and
// scales them from there when it prints, while font sizes stay in points. Converting at 96 dpi
// keeps indents and tab stops in the proportion to the text that the document's author saw.
constexpr double pixelsPerTwip = 96.0 / 1440.0;

// Word processors accept lengths up to 22 inches; larger values only come from damaged files.
constexpr int largestTwips = 22 * 1440;

constexpr int clampTwips(int twips) { return std::clamp(twips, -largestTwips, largestTwips); }

constexpr double twipsToPixels(int twips) { return clampTwips(twips) * pixelsPerTwip; }

} // namespace tqx
