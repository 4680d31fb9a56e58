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

// When and how a reply goes out and what becomes of the line after it, beyond its bytes: what
// the stages plan for the session to carry out. Nothing set: the reply goes out at once, whole.
struct ReplyPlan
{
    // Before its first byte; and never before the replies answered before it, which keep their
    // order.
    qint64 delayMs = 0;
    int pieces = 1; // sent in this many pieces,
    qint64 pieceGapMs = 0; // this far apart
    qint64 silentForMs = 0; // from this reply on, commands are read and dropped for this long
    bool restart = false; // and the hand control starts afresh, as after a power cycle
    bool dropClient = false; // the client's connection is dropped instead of the reply

    bool isTimed() const { return delayMs > 0 || pieces > 1; }
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

    // The same, for a stage that also plans when the reply goes out or what the line does next;
    // a stage that only changes bytes leaves the plan alone.
    virtual QString plan(Bytes &reply, const ReplyContext &context, ReplyPlan &)
    {
        return process(reply, context);
    }
};

} // namespace tqx
