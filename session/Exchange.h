#pragma once

#include "emulation/Bytes.h"
#include "emulation/ExchangeDecoder.h"
#include "emulation/Profile.h"

#include <QString>
#include <QtGlobal>

#include <optional>

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
    // The command came before the client had the previous reply: behind another command in the
    // same arrival of bytes, or while a reply was still on its way out.
    bool pipelined = false;
    // How much of the earlier replies the client had left unread when the command came, while
    // the session watches for it (see EmulatorSession::setWatchingClientReads).
    std::optional<long long> clientUnreadBytes;

    Profile profile() const { return context.profile; }
};

} // namespace tqx
