#pragma once

#include "emulation/Bytes.h"
#include "emulation/ExchangeDecoder.h"
#include "emulation/Profile.h"

#include <QString>
#include <QtGlobal>

namespace tqx {

// One answered command, as every view of the session records it: the console's logs, the
// journal and headless output each read what they need from the same record. The reply is the
// one that went out, as the reply stages left it, with what they did to it; the context is what
// the command and the reply mean depends on, taken when the command was answered.
struct Exchange
{
    qint64 msecsSinceEpoch = 0; // when the command was answered
    Bytes command;
    Bytes reply; // as it went out
    // What the reply stages did to the reply, for the record; empty when they left it alone.
    QString note;
    DecodeContext context;
    // False when the client the reply was for had gone, so that nothing went out.
    bool sent = true;

    Profile profile() const { return context.profile; }
};

} // namespace tqx
