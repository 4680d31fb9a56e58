#pragma once

#include "session/ReplyStage.h"

#include <memory>
#include <vector>

namespace tqx {

// The reply stages of a session, in the order a reply goes through them; none by default, and
// then the session sends the interpreter's reply as it is without asking the chain.
class ReplyChain
{
public:
    void append(std::unique_ptr<ReplyStage> stage);
    void clear();
    bool isEmpty() const { return m_stages.empty(); }
    std::size_t size() const { return m_stages.size(); }

    // Runs every stage over `reply` in order, each on what the one before left; returns their
    // notes in the same order, joined by "; ". What they plan beyond the bytes goes into `plan`.
    QString run(Bytes &reply, const ReplyContext &context, ReplyPlan *plan = nullptr) const;
    // Takes one stage out; the others keep their order.
    void remove(const ReplyStage *stage);

private:
    std::vector<std::unique_ptr<ReplyStage>> m_stages;
};

} // namespace tqx
