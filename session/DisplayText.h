#pragma once

#include "emulation/Bytes.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <string>

namespace tqx {

// The bytes of the line as the console shows them: printable ASCII as it is, the backslash as
// "\\" and every other byte as "\xNN", so that a control byte or a byte above 0x7F is visible and
// the text can be read back unambiguously.
QString displayText(const Bytes &bytes);
// The same, appended to `text`: for output that is written as bytes.
void appendDisplayText(std::string &text, const Bytes &bytes);

// The command input buffer as the console shows it, with a note of the bytes that were not kept.
QString bufferText(const Bytes &buffer, std::uint64_t droppedBytes);

// The time of an exchange as the logs write it: local date and time to the millisecond.
QString exchangeTimeText(const QDateTime &time);

} // namespace tqx
