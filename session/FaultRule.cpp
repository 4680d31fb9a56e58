#include "session/FaultRule.h"

#include <QStringList>

namespace tqx {

namespace {

// Each effect once: its name, what its arguments are, and how many it takes.
struct EffectName
{
    const char *name;
    FaultEffectKind kind;
    const char *arguments; // for messages and help; empty: none
    int fewest;
    int most;
};

constexpr EffectName effectNames[] = {
        {"delay", FaultEffectKind::Delay, "MS[+JITTER]", 1, 1},
        {"noreply", FaultEffectKind::NoReply, "", 0, 0},
        {"cut", FaultEffectKind::Cut, "N", 1, 1},
        {"corrupt", FaultEffectKind::Corrupt, "[BYTE]", 0, 1},
        {"extra-before", FaultEffectKind::ExtraBefore, "TEXT", 1, 1},
        {"extra-after", FaultEffectKind::ExtraAfter, "TEXT", 1, 1},
        {"pieces", FaultEffectKind::Pieces, "N[:GAP]", 1, 2},
        {"twice", FaultEffectKind::Twice, "", 0, 0},
        {"error-form", FaultEffectKind::ErrorForm, "", 0, 0},
        {"busy", FaultEffectKind::Busy, "MS", 1, 1},
        {"silent", FaultEffectKind::Silent, "MS", 1, 1},
        {"power-cycle", FaultEffectKind::PowerCycle, "MS", 1, 1},
        {"drop", FaultEffectKind::Drop, "", 0, 0},
};

// Pieces come this far apart unless the rule says.
constexpr qint64 defaultPieceGapMs = 100;

// A length of time: milliseconds, or with a unit, "250ms", "1.5s".
std::optional<qint64> duration(QString text)
{
    text = text.trimmed().toLower();
    double scale = 1;
    if (text.endsWith(QLatin1String("ms"))) {
        text.chop(2);
    } else if (text.endsWith(QLatin1Char('s'))) {
        text.chop(1);
        scale = 1000;
    }
    bool ok = false;
    const double value = text.toDouble(&ok) * scale;
    if (!ok || value < 0 || value > 24.0 * 3600 * 1000)
        return std::nullopt;
    return qint64(value + 0.5);
}

std::optional<quint64> wholeNumber(const QString &text, quint64 lowest)
{
    bool ok = false;
    const quint64 value = text.trimmed().toULongLong(&ok);
    if (!ok || value < lowest)
        return std::nullopt;
    return value;
}

// Text as bytes, with %HH for any byte and %% for the percent sign.
std::optional<Bytes> bytesOf(const QString &text)
{
    Bytes bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() > 0xFF)
            return std::nullopt;
        if (c != QLatin1Char('%')) {
            bytes.push_back(char(c.unicode()));
            continue;
        }
        if (text.mid(i + 1, 1) == QLatin1String("%")) {
            bytes.push_back('%');
            ++i;
            continue;
        }
        bool ok = false;
        const uint value = text.mid(i + 1, 2).toUInt(&ok, 16);
        if (!ok || text.mid(i + 1, 2).size() != 2)
            return std::nullopt;
        bytes.push_back(char(value));
        i += 2;
    }
    if (bytes.empty())
        return std::nullopt;
    return bytes;
}

// How an effect is written: "cut:N", "corrupt[:BYTE]", "twice".
QString writtenForm(const EffectName &effect)
{
    const QLatin1String name(effect.name);
    const QLatin1String arguments(effect.arguments);
    if (arguments.isEmpty())
        return name;
    if (arguments.startsWith(QLatin1Char('[')))
        return QStringLiteral("%1[:%2").arg(name, arguments.mid(1));
    return QStringLiteral("%1:%2").arg(name, arguments);
}

QString quoted(const QString &text) { return QStringLiteral("\"%1\"").arg(text); }

bool readEffect(const QString &text, FaultEffect &effect, QString *errorText)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    const QString name = parts.front().trimmed().toLower();
    const EffectName *found = nullptr;
    for (const EffectName &candidate : effectNames) {
        if (name == QLatin1String(candidate.name))
            found = &candidate;
    }
    if (!found) {
        *errorText = QStringLiteral("%1 is no fault; the faults are %2")
                             .arg(quoted(name), faultSyntaxSummary());
        return false;
    }
    const QStringList arguments = parts.mid(1);
    const QString form = writtenForm(*found);
    // Extra text may hold colons of its own.
    const bool takesText = found->kind == FaultEffectKind::ExtraBefore
            || found->kind == FaultEffectKind::ExtraAfter;
    if (!takesText && (arguments.size() < found->fewest || arguments.size() > found->most)) {
        *errorText = QStringLiteral("%1 is written %2").arg(quoted(text), form);
        return false;
    }
    effect.kind = found->kind;
    const auto refuse = [&](const QString &part, const QString &what) {
        *errorText = QStringLiteral("%1 in %2 must be %3").arg(quoted(part), quoted(text), what);
        return false;
    };
    switch (found->kind) {
    case FaultEffectKind::Delay: {
        const QStringList sum = arguments.front().split(QLatin1Char('+'));
        const std::optional<qint64> fixed = duration(sum.front());
        const std::optional<qint64> jitter
                = sum.size() == 2 ? duration(sum.back()) : std::optional<qint64>(0);
        if (!fixed || !jitter || sum.size() > 2)
            return refuse(arguments.front(), QStringLiteral("MS or MS+JITTER, such as 3000+500"));
        effect.ms = *fixed;
        effect.jitterMs = *jitter;
        break;
    }
    case FaultEffectKind::Cut:
    case FaultEffectKind::Pieces: {
        const std::optional<quint64> count
                = wholeNumber(arguments.front(), found->kind == FaultEffectKind::Pieces ? 2 : 0);
        if (!count || *count > 1000)
            return refuse(arguments.front(),
                          found->kind == FaultEffectKind::Pieces
                                  ? QStringLiteral("a number of pieces from 2 to 1000")
                                  : QStringLiteral("a number of bytes from 0 to 1000"));
        effect.count = int(*count);
        if (found->kind == FaultEffectKind::Pieces)
            effect.ms = defaultPieceGapMs;
        if (arguments.size() == 2) {
            const std::optional<qint64> gap = duration(arguments.back());
            if (!gap)
                return refuse(arguments.back(), QStringLiteral("a gap in milliseconds"));
            effect.ms = *gap;
        }
        break;
    }
    case FaultEffectKind::Corrupt:
        if (!arguments.isEmpty()) {
            const std::optional<quint64> position = wholeNumber(arguments.front(), 1);
            if (!position || *position > 1000)
                return refuse(arguments.front(),
                              QStringLiteral("the byte's position, 1 for the first"));
            effect.count = int(*position);
        }
        break;
    case FaultEffectKind::ExtraBefore:
    case FaultEffectKind::ExtraAfter: {
        const QString extra = text.mid(text.indexOf(QLatin1Char(':')) + 1);
        const std::optional<Bytes> bytes
                = text.contains(QLatin1Char(':')) ? bytesOf(extra) : std::nullopt;
        if (!bytes)
            return refuse(extra, QStringLiteral("bytes, with %HH for any byte"));
        effect.bytes = *bytes;
        break;
    }
    case FaultEffectKind::Busy:
    case FaultEffectKind::Silent:
    case FaultEffectKind::PowerCycle: {
        const std::optional<qint64> ms = duration(arguments.front());
        if (!ms)
            return refuse(arguments.front(), QStringLiteral("a time in milliseconds, or 10s"));
        effect.ms = *ms;
        break;
    }
    case FaultEffectKind::NoReply:
    case FaultEffectKind::Twice:
    case FaultEffectKind::ErrorForm:
    case FaultEffectKind::Drop:
        break;
    }
    return true;
}

bool readCondition(const QString &text, FaultCondition &condition, QString *errorText)
{
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    const QString name = text.left(equals).trimmed().toLower();
    const QString value = equals < 0 ? QString() : text.mid(equals + 1).trimmed();
    const auto refuse = [&](const QString &what) {
        *errorText = QStringLiteral("the condition %1 must be %2").arg(quoted(text), what);
        return false;
    };
    if (name == QLatin1String("cmd")) {
        if (value.size() != 1 || value.at(0).unicode() > 0x7F)
            return refuse(QStringLiteral("cmd=LETTER, such as cmd=E"));
        condition.letter = char(value.at(0).unicode());
    } else if (name == QLatin1String("bus")) {
        const QStringList parts = value.split(QLatin1Char(':'));
        const std::optional<quint64> device = wholeNumber(parts.front(), 0);
        const std::optional<quint64> id
                = parts.size() == 2 ? wholeNumber(parts.back(), 0) : std::nullopt;
        if (!device || !id || *device > 255 || *id > 255)
            return refuse(QStringLiteral("bus=DEVICE:ID, two numbers from 0 to 255, such as "
                                         "bus=16:1"));
        condition.letter = 'P';
        condition.busDevice = int(*device);
        condition.busCommand = int(*id);
    } else if (name == QLatin1String("nth") || name == QLatin1String("every")
               || name == QLatin1String("count")) {
        const std::optional<quint64> number = wholeNumber(value, 1);
        if (!number)
            return refuse(QStringLiteral("%1=N, N from 1").arg(name));
        (name == QLatin1String("nth")             ? condition.nth
                 : name == QLatin1String("every") ? condition.every
                                                  : condition.count)
                = *number;
    } else if (name == QLatin1String("p")) {
        bool ok = false;
        const double probability = value.toDouble(&ok);
        if (!ok || probability <= 0 || probability > 1)
            return refuse(QStringLiteral("p=PROBABILITY, more than 0 and at most 1"));
        condition.probability = probability;
    } else if (name == QLatin1String("after")) {
        const std::optional<qint64> ms = duration(value);
        if (!ms)
            return refuse(QStringLiteral("after=TIME, such as after=30s"));
        condition.afterMs = *ms;
    } else {
        *errorText = QStringLiteral("%1 is no condition; the conditions are cmd=LETTER, "
                                    "bus=DEVICE:ID, nth=N, every=N, count=N, p=PROBABILITY "
                                    "and after=TIME")
                             .arg(quoted(name));
        return false;
    }
    return true;
}

} // namespace

std::optional<FaultRule> FaultRule::parse(const QString &text, QString *errorText)
{
    QString unused;
    QString &error = errorText ? *errorText : unused;
    FaultRule rule;
    rule.text = text.trimmed();
    const qsizetype at = rule.text.indexOf(QLatin1Char('@'));
    if (!readEffect(rule.text.left(at), rule.effect, &error))
        return std::nullopt;
    if (at >= 0) {
        for (const QString &part : rule.text.mid(at + 1).split(QLatin1Char(','))) {
            if (!readCondition(part, rule.condition, &error))
                return std::nullopt;
        }
    }
    return rule;
}

QString faultSyntaxSummary()
{
    QStringList forms;
    for (const EffectName &effect : effectNames)
        forms << writtenForm(effect);
    return forms.join(QStringLiteral(", "));
}

} // namespace tqx
