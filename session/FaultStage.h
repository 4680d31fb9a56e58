#pragma once

#include "session/FaultRule.h"
#include "session/ReplyStage.h"

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

namespace tqx {

// The faults a user asked for, as a reply stage: each reply is checked against every rule in
// order, and each rule that applies changes the reply or plans what the session does with it.
// Every random choice is one draw from one generator seeded once, so that the same commands
// with the same seed meet the same faults.
class FaultStage : public ReplyStage
{
public:
    using Clock = std::function<qint64()>; // monotonic milliseconds

    FaultStage(std::vector<FaultRule> rules, std::uint64_t seed, Clock steadyMs);

    QString process(Bytes &reply, const ReplyContext &context) override;
    QString plan(Bytes &reply, const ReplyContext &context, ReplyPlan &plan) override;

    const std::vector<FaultRule> &rules() const { return m_rules; }
    std::uint64_t seed() const { return m_seed; }

private:
    struct RuleState
    {
        quint64 matched = 0;
        quint64 applied = 0;
    };

    bool applies(const FaultRule &rule, RuleState &state, const Bytes &command, qint64 nowMs);
    QString apply(const FaultEffect &effect, Bytes &reply, ReplyPlan &plan, qint64 nowMs);
    QString busyReply(Bytes &reply, const Bytes &command) const;

    std::vector<FaultRule> m_rules;
    std::vector<RuleState> m_states;
    std::uint64_t m_seed;
    std::mt19937_64 m_random;
    Clock m_steadyMs;
    qint64 m_startMs;
    qint64 m_busyUntilMs = 0;
};

} // namespace tqx
