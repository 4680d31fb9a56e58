#pragma once

#include "rtf/RtfCharacterFormat.h"
#include "rtf/RtfParagraphFormat.h"

namespace tqx {

// Where the text of a group goes.
enum class RtfDestination {
    Body, // the document's text
    FontTable,
    ColorTable,
    Skipped, // pictures, headers, document information and every unknown \* destination
};

// Everything a group inherits from the one around it and that is restored when it ends.
struct RtfGroupState
{
    RtfDestination destination = RtfDestination::Body;
    RtfCharacterFormat character;
    RtfParagraphFormat paragraph;
    int unicodeFallbackLength = 1; // \uc: characters after \u that stand in for it
};

} // namespace tqx
