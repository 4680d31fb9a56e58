#pragma once

#include "emulation/Bytes.h"

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace tqx {

// What a fault does when its condition holds. The reply effects change the reply on its way out;
// the timed ones change when it goes out; the session effects change the line for a while.
enum class FaultEffectKind {
    Delay, // the reply held back for `ms` plus up to `jitterMs`
    NoReply,
    Cut, // only the first `count` bytes go out
    Corrupt, // one bit of byte `count` (1 is the first; 0 a byte drawn at random) flipped
    ExtraBefore, // `bytes` sent before the reply
    ExtraAfter,
    Pieces, // the reply in `count` pieces `ms` apart
    Twice,
    ErrorForm, // the pass-through's error form: an extra byte before the closing '#'
    Busy, // for `ms`, L answers "1#" and the motors' goto-done "not done"
    Silent, // for `ms`, commands are read and dropped and nothing is answered
    PowerCycle, // silent for `ms`, then the hand control's start state
    Drop, // the client's connection dropped, instead of this reply
};

struct FaultEffect
{
    FaultEffectKind kind = FaultEffectKind::NoReply;
    qint64 ms = 0;
    qint64 jitterMs = 0;
    int count = 0;
    Bytes bytes;
};

// When a fault applies. A command matches when it has the letter and, for `bus`, is a
// pass-through to that device and command id; the matching commands are counted, and `nth`,
// `every`, `count`, `probability` and `afterMs` pick among them. Nothing set: every command.
struct FaultCondition
{
    std::optional<char> letter;
    std::optional<int> busDevice; // with busCommand: a pass-through (P) only
    std::optional<int> busCommand;
    quint64 nth = 0; // only the nth matching command; 0 any
    quint64 every = 0; // every nth matching command; 0 each
    quint64 count = 0; // at most this many times; 0 no limit
    std::optional<double> probability; // of applying to a command the rest lets through
    qint64 afterMs = 0; // only once the faults have been set this long
};

// One fault as the user wrote it: EFFECT[:ARG[:ARG]][@CONDITION[,CONDITION...]].
struct FaultRule
{
    FaultEffect effect;
    FaultCondition condition;
    QString text; // as written, for the logs

    // Reads a rule; on a mistake returns nothing and says which part is wrong and why.
    static std::optional<FaultRule> parse(const QString &text, QString *errorText);
};

// The syntax, in a few lines for --help.
QString faultSyntaxSummary();

} // namespace tqx
