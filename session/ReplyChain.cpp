#include "session/ReplyChain.h"

namespace tqx {

void ReplyChain::append(std::unique_ptr<ReplyStage> stage)
{
    if (stage)
        m_stages.push_back(std::move(stage));
}

void ReplyChain::clear() { m_stages.clear(); }

void ReplyChain::remove(const ReplyStage *stage)
{
    std::erase_if(m_stages, [stage](const auto &held) { return held.get() == stage; });
}

QString ReplyChain::run(Bytes &reply, const ReplyContext &context, ReplyPlan *plan) const
{
    ReplyPlan unused;
    ReplyPlan &planned = plan ? *plan : unused;
    QString notes;
    for (const auto &stage : m_stages) {
        const QString note = stage->plan(reply, context, planned);
        if (note.isEmpty())
            continue;
        if (!notes.isEmpty())
            notes += QLatin1String("; ");
        notes += note;
    }
    return notes;
}

} // namespace tqx
