#pragma once

#include "emulation/Bytes.h"
#include "emulation/ExchangeDecoder.h"

#include <QString>
#include <QtGlobal>

namespace tqx {

// What a reply stage knows of the exchange whose reply it handles.
struct ReplyContext
{
    const Bytes &command;
    qint64 msecsSinceEpoch; // when the command was answered
    DecodeContext decodeContext;
};

// One step between the interpreter's reply and the transport: it takes the reply as the stages
// before it left it and leaves it as it is to go out. Stages are how a session is made to
// misbehave on purpose for the client under test; the record of every exchange holds what they
// made of the reply, so that no view shows a reply the client did not get.
class ReplyStage
{
public:
    virtual ~ReplyStage() = default;

    // Changes `reply` in place, or leaves it alone; returns what it did, in a few words for the
    // logs, or an empty text when it did nothing worth a note.
    virtual QString process(Bytes &reply, const ReplyContext &context) = 0;
};

} // namespace tqx
