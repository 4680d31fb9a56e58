#include "session/FaultStage.h"

#include "emulation/BusCommandTable.h"

#include <QStringList>

#include <algorithm>

namespace tqx {

namespace {

QString fault(const QString &text) { return text + QLatin1String(" (fault)"); }

QString bytesText(std::size_t count)
{
    return count == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(count);
}

// The pass-through frame 'P' len dest cmd ...: its device and command id.
bool isPassThroughTo(const Bytes &command, int device, int id)
{
    return command.size() >= 4 && command[0] == 'P'
            && static_cast<unsigned char>(command[2]) == device
            && static_cast<unsigned char>(command[3]) == id;
}

bool isGotoDoneQuery(const Bytes &command)
{
    return command.size() >= 4 && command[0] == 'P'
            && busDeviceKind(static_cast<std::uint8_t>(command[2])) == BusDeviceKind::Motor
            && static_cast<unsigned char>(command[3]) == MotorCommand::IsGotoDone;
}

} // namespace

FaultStage::FaultStage(std::vector<FaultRule> rules, std::uint64_t seed, Clock steadyMs)
    : m_rules(std::move(rules))
    , m_states(m_rules.size())
    , m_seed(seed)
    , m_random(seed)
    , m_steadyMs(std::move(steadyMs))
    , m_startMs(m_steadyMs())
{
}

QString FaultStage::process(Bytes &reply, const ReplyContext &context)
{
    ReplyPlan unused;
    return plan(reply, context, unused);
}

bool FaultStage::applies(const FaultRule &rule, RuleState &state, const Bytes &command,
                         qint64 nowMs)
{
    const FaultCondition &condition = rule.condition;
    if (condition.letter && (command.empty() || command.front() != *condition.letter))
        return false;
    if (condition.busDevice
        && !isPassThroughTo(command, *condition.busDevice, condition.busCommand.value_or(0)))
        return false;
    if (nowMs - m_startMs < condition.afterMs)
        return false;
    const quint64 index = ++state.matched;
    if (condition.nth && index != condition.nth)
        return false;
    if (condition.every && index % condition.every != 0)
        return false;
    if (condition.count && state.applied >= condition.count)
        return false;
    if (condition.probability
        && std::uniform_real_distribution<double>(0, 1)(m_random) >= *condition.probability)
        return false;
    ++state.applied;
    return true;
}

QString FaultStage::plan(Bytes &reply, const ReplyContext &context, ReplyPlan &plan)
{
    const qint64 nowMs = m_steadyMs();
    std::vector<const FaultEffect *> effects;
    for (std::size_t i = 0; i < m_rules.size(); ++i) {
        if (applies(m_rules[i], m_states[i], context.command, nowMs))
            effects.push_back(&m_rules[i].effect);
    }
    QStringList notes;
    // A busy period a rule starts now already shows in this reply.
    for (const FaultEffect *effect : effects) {
        if (effect->kind == FaultEffectKind::Busy) {
            m_busyUntilMs = nowMs + effect->ms;
            notes << fault(QStringLiteral("the mount busy for %1 ms").arg(effect->ms));
        }
    }
    if (nowMs < m_busyUntilMs) {
        if (const QString note = busyReply(reply, context.command); !note.isEmpty())
            notes << note;
    }
    for (const FaultEffect *effect : effects) {
        if (const QString note = apply(*effect, reply, plan, nowMs); !note.isEmpty())
            notes << note;
    }
    return notes.join(QLatin1String("; "));
}

QString FaultStage::busyReply(Bytes &reply, const Bytes &command) const
{
    if (!command.empty() && command.front() == 'L') {
        reply = "1#";
        return fault(QStringLiteral("busy mount: a goto in progress"));
    }
    if (isGotoDoneQuery(command)) {
        reply = Bytes("\x00#", 2);
        return fault(QStringLiteral("busy mount: the goto not done"));
    }
    return {};
}

QString FaultStage::apply(const FaultEffect &effect, Bytes &reply, ReplyPlan &plan, qint64 nowMs)
{
    Q_UNUSED(nowMs);
    switch (effect.kind) {
    case FaultEffectKind::Delay: {
        qint64 ms = effect.ms;
        if (effect.jitterMs > 0)
            ms += std::uniform_int_distribution<qint64>(0, effect.jitterMs)(m_random);
        plan.delayMs += ms;
        return fault(QStringLiteral("reply delayed by %1 ms").arg(ms));
    }
    case FaultEffectKind::NoReply:
        reply.clear();
        return fault(QStringLiteral("no reply"));
    case FaultEffectKind::Cut: {
        const std::size_t whole = reply.size();
        if (std::size_t(effect.count) >= whole)
            return {};
        reply.resize(std::size_t(effect.count));
        return fault(QStringLiteral("reply cut after %1 of %2 bytes").arg(effect.count).arg(whole));
    }
    case FaultEffectKind::Corrupt: {
        if (reply.empty())
            return {};
        std::size_t at = std::size_t(effect.count) - 1;
        if (effect.count == 0)
            at = std::uniform_int_distribution<std::size_t>(0, reply.size() - 1)(m_random);
        if (at >= reply.size())
            return {};
        // One bit flipped, as noise on the line does it.
        const int bit = std::uniform_int_distribution<int>(0, 7)(m_random);
        reply[at] = char(static_cast<unsigned char>(reply[at]) ^ (1u << bit));
        return fault(QStringLiteral("byte %1 of %2 corrupted").arg(at + 1).arg(reply.size()));
    }
    case FaultEffectKind::ExtraBefore:
        reply.insert(0, effect.bytes);
        return fault(
                QStringLiteral("%1 added before the reply").arg(bytesText(effect.bytes.size())));
    case FaultEffectKind::ExtraAfter:
        reply += effect.bytes;
        return fault(
                QStringLiteral("%1 added after the reply").arg(bytesText(effect.bytes.size())));
    case FaultEffectKind::Pieces:
        plan.pieces = effect.count;
        plan.pieceGapMs = effect.ms;
        return fault(QStringLiteral("reply sent in %1 pieces %2 ms apart")
                             .arg(effect.count)
                             .arg(effect.ms));
    case FaultEffectKind::Twice:
        reply += Bytes(reply);
        return fault(QStringLiteral("reply sent twice"));
    case FaultEffectKind::ErrorForm: {
        const std::size_t end = reply.rfind('#');
        reply.insert(end == Bytes::npos ? reply.size() : end, 1, '\0');
        return fault(QStringLiteral("the error form in place of the answer"));
    }
    case FaultEffectKind::Busy:
        return {};
    case FaultEffectKind::Silent:
        reply.clear();
        plan.silentForMs = std::max(plan.silentForMs, effect.ms);
        return fault(QStringLiteral("no reply: the line silent for %1 ms").arg(effect.ms));
    case FaultEffectKind::PowerCycle:
        reply.clear();
        plan.silentForMs = std::max(plan.silentForMs, effect.ms);
        plan.restart = true;
        return fault(QStringLiteral("no reply: the hand control switched off for %1 ms and on "
                                    "again")
                             .arg(effect.ms));
    case FaultEffectKind::Drop:
        reply.clear();
        plan.dropClient = true;
        return fault(QStringLiteral("no reply: the client's connection dropped"));
    }
    return {};
}

} // namespace tqx
