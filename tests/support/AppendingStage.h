#pragma once

#include "session/ReplyStage.h"

#include <vector>

// A reply stage for tests: appends its suffix to every reply, says so in its note, and keeps what
// it was given, so that a test can tell what each stage saw and in which order. A stage with an
// empty suffix changes nothing and has nothing to say.
class AppendingStage : public tqx::ReplyStage
{
public:
    struct Seen
    {
        tqx::Bytes command;
        tqx::Bytes reply; // as the stages before this one left it
        qint64 msecsSinceEpoch;
        tqx::Profile profile;
    };

    explicit AppendingStage(tqx::Bytes suffix, std::vector<Seen> *seen = nullptr)
        : m_suffix(std::move(suffix))
        , m_seen(seen)
    {
    }

    QString process(tqx::Bytes &reply, const tqx::ReplyContext &context) override
    {
        if (m_seen)
            m_seen->push_back({context.command, reply, context.msecsSinceEpoch,
                               context.decodeContext.profile});
        if (m_suffix.empty())
            return {};
        reply += m_suffix;
        return QStringLiteral("appended %1")
                .arg(QString::fromLatin1(m_suffix.data(), qsizetype(m_suffix.size())));
    }

private:
    tqx::Bytes m_suffix;
    std::vector<Seen> *m_seen;
};
