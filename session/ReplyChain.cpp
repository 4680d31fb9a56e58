#include "session/ReplyChain.h"

namespace tqx {

void ReplyChain::append(std::unique_ptr<ReplyStage> stage)
{
    if (stage)
        m_stages.push_back(std::move(stage));
}

void ReplyChain::clear() { m_stages.clear(); }

QString ReplyChain::run(Bytes &reply, const ReplyContext &context) const
{
    QString notes;
    for (const auto &stage : m_stages) {
        const QString note = stage->process(reply, context);
        if (note.isEmpty())
            continue;
        if (!notes.isEmpty())
            notes += QLatin1String("; ");
        notes += note;
    }
    return notes;
}

} // namespace tqx
