#include "scenario/ScenarioReport.h"

#include <QJsonArray>
#include <QXmlStreamWriter>

namespace tqx {

namespace {

QString seconds(qint64 ms) { return QString::number(double(ms) / 1000, 'f', 3); }

QString stateText(ScenarioResult::State state)
{
    switch (state) {
    case ScenarioResult::State::Passed:
        return QStringLiteral("passed");
    case ScenarioResult::State::Failed:
        return QStringLiteral("failed");
    case ScenarioResult::State::Pending:
        break;
    }
    return QStringLiteral("pending");
}

QString findingText(const Finding &finding)
{
    return QStringLiteral("%1 s: %2 (the hand control expects: %3)")
            .arg(seconds(finding.atMs), finding.what, finding.expected);
}

std::vector<const Finding *> findingsOf(const ClientChecks &checks, const QString &check)
{
    std::vector<const Finding *> found;
    for (const Finding &finding : checks.findings()) {
        if (finding.check == check)
            found.push_back(&finding);
    }
    return found;
}

} // namespace

bool ScenarioReport::passed() const { return failures() == 0; }

int ScenarioReport::failures() const
{
    int failed = int(judge.stepFailures().size());
    for (const ScenarioResult &result : judge.expectations())
        failed += result.state == ScenarioResult::State::Passed ? 0 : 1;
    for (const QString &check : ClientChecks::checkNames())
        failed += checks.count(check) > 0 && !checks.settings().ignored.contains(check) ? 1 : 0;
    return failed;
}

int ScenarioReport::testCount() const
{
    return int(judge.expectations().size() + judge.stepFailures().size()
               + ClientChecks::checkNames().size());
}

QByteArray ScenarioReport::junitXml() const
{
    QByteArray xml;
    QXmlStreamWriter writer(&xml);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("testsuites"));
    writer.writeAttribute(QStringLiteral("name"), QStringLiteral("tqx-orbivo-emulator scenarios"));
    writer.writeAttribute(QStringLiteral("tests"), QString::number(testCount()));
    writer.writeAttribute(QStringLiteral("failures"), QString::number(failures()));
    writer.writeAttribute(QStringLiteral("time"), seconds(durationMs));

    const QString suite = scenario.name.isEmpty() ? scenario.path : scenario.name;
    writer.writeStartElement(QStringLiteral("testsuite"));
    writer.writeAttribute(QStringLiteral("name"), suite);
    writer.writeAttribute(QStringLiteral("tests"), QString::number(testCount()));
    writer.writeAttribute(QStringLiteral("failures"), QString::number(failures()));
    writer.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    writer.writeAttribute(QStringLiteral("time"), seconds(durationMs));
    if (!timestamp.isEmpty())
        writer.writeAttribute(QStringLiteral("timestamp"), timestamp);
    writer.writeStartElement(QStringLiteral("properties"));
    for (const auto &[name, value] : {std::pair {QStringLiteral("scenario"), scenario.path},
                                      std::pair {QStringLiteral("ended"), endedBecause}}) {
        writer.writeStartElement(QStringLiteral("property"));
        writer.writeAttribute(QStringLiteral("name"), name);
        writer.writeAttribute(QStringLiteral("value"), value);
        writer.writeEndElement();
    }
    writer.writeEndElement();

    const auto writeResult = [&](const ScenarioResult &result, const QString &className) {
        writer.writeStartElement(QStringLiteral("testcase"));
        writer.writeAttribute(QStringLiteral("classname"), className);
        writer.writeAttribute(QStringLiteral("name"), result.name);
        writer.writeAttribute(QStringLiteral("time"),
                              seconds(std::max<qint64>(result.decidedAtMs, 0)));
        writer.writeAttribute(QStringLiteral("file"), scenario.path);
        writer.writeAttribute(QStringLiteral("line"), QString::number(result.line));
        if (result.state == ScenarioResult::State::Passed) {
            writer.writeTextElement(QStringLiteral("system-out"), result.message);
        } else {
            writer.writeStartElement(QStringLiteral("failure"));
            writer.writeAttribute(QStringLiteral("message"), result.message);
            QString text = result.message;
            if (!result.around.isEmpty())
                text += QStringLiteral("\n\nThe exchange before it:\n") + result.around.join('\n');
            writer.writeCharacters(text);
            writer.writeEndElement();
        }
        writer.writeEndElement();
    };
    for (const ScenarioResult &result : judge.expectations())
        writeResult(result, suite);
    for (const ScenarioResult &result : judge.stepFailures())
        writeResult(result, suite + QStringLiteral(".steps"));
    for (const QString &check : ClientChecks::checkNames()) {
        writer.writeStartElement(QStringLiteral("testcase"));
        writer.writeAttribute(QStringLiteral("classname"), suite + QStringLiteral(".client"));
        writer.writeAttribute(QStringLiteral("name"), check);
        writer.writeAttribute(QStringLiteral("time"), QStringLiteral("0"));
        const int count = checks.count(check);
        if (count > 0) {
            QStringList lines;
            for (const Finding *finding : findingsOf(checks, check))
                lines << findingText(*finding);
            if (count > int(lines.size()))
                lines << QStringLiteral("... %1 times in all").arg(count);
            const QString message = QStringLiteral("%1: %2").arg(count).arg(
                    findingsOf(checks, check).front()->what);
            if (checks.settings().ignored.contains(check)) {
                writer.writeStartElement(QStringLiteral("skipped"));
                writer.writeAttribute(QStringLiteral("message"),
                                      QStringLiteral("ignored by the scenario: ") + message);
                writer.writeEndElement();
                writer.writeTextElement(QStringLiteral("system-out"), lines.join('\n'));
            } else {
                writer.writeStartElement(QStringLiteral("failure"));
                writer.writeAttribute(QStringLiteral("message"), message);
                writer.writeCharacters(lines.join('\n'));
                writer.writeEndElement();
            }
        }
        writer.writeEndElement();
    }
    writer.writeEndElement(); // testsuite
    writer.writeEndElement(); // testsuites
    writer.writeEndDocument();
    return xml;
}

QJsonObject ScenarioReport::json() const
{
    const auto resultJson = [](const ScenarioResult &result) {
        QJsonObject object {{QStringLiteral("name"), result.name},
                            {QStringLiteral("line"), result.line},
                            {QStringLiteral("result"), stateText(result.state)},
                            {QStringLiteral("message"), result.message}};
        if (result.decidedAtMs >= 0)
            object.insert(QStringLiteral("at_seconds"), double(result.decidedAtMs) / 1000);
        if (!result.around.isEmpty())
            object.insert(QStringLiteral("exchange_before"),
                          QJsonArray::fromStringList(result.around));
        return object;
    };
    QJsonArray expectations;
    for (const ScenarioResult &result : judge.expectations())
        expectations.append(resultJson(result));
    QJsonArray steps;
    for (const ScenarioResult &result : judge.stepFailures())
        steps.append(resultJson(result));
    QJsonObject counts;
    for (const QString &check : ClientChecks::checkNames())
        counts.insert(check, checks.count(check));
    QJsonArray findings;
    for (const Finding &finding : checks.findings())
        findings.append(QJsonObject {
                {QStringLiteral("check"), finding.check},
                {QStringLiteral("at_seconds"), double(finding.atMs) / 1000},
                {QStringLiteral("what"), finding.what},
                {QStringLiteral("expected"), finding.expected},
                {QStringLiteral("ignored"), checks.settings().ignored.contains(finding.check)}});
    return {{QStringLiteral("scenario"), scenario.path},
            {QStringLiteral("name"), scenario.name},
            {QStringLiteral("passed"), passed()},
            {QStringLiteral("failures"), failures()},
            {QStringLiteral("seconds"), double(durationMs) / 1000},
            {QStringLiteral("ended"), endedBecause},
            {QStringLiteral("started"), timestamp},
            {QStringLiteral("expectations"), expectations},
            {QStringLiteral("failed_steps"), steps},
            {QStringLiteral("client_checks"),
             QJsonObject {{QStringLiteral("counts"), counts},
                          {QStringLiteral("ignored"),
                           QJsonArray::fromStringList(checks.settings().ignored)},
                          {QStringLiteral("findings"), findings}}}};
}

QString ScenarioReport::summary() const
{
    QStringList lines;
    lines << QStringLiteral("scenario %1: %2 after %3 s")
                     .arg(scenario.name.isEmpty()
                                  ? scenario.path
                                  : QLatin1Char('"') + scenario.name + QLatin1Char('"'),
                          endedBecause, seconds(durationMs));
    const auto add = [&lines](const ScenarioResult &result) {
        lines << QStringLiteral("%1  %2: %3")
                         .arg(result.state == ScenarioResult::State::Passed
                                      ? QStringLiteral("PASS")
                                      : QStringLiteral("FAIL"),
                              result.name, result.message);
        if (result.state != ScenarioResult::State::Passed) {
            for (const QString &line : result.around)
                lines << QStringLiteral("        ") + line;
        }
    };
    for (const ScenarioResult &result : judge.expectations())
        add(result);
    for (const ScenarioResult &result : judge.stepFailures())
        add(result);
    for (const QString &check : ClientChecks::checkNames()) {
        const int count = checks.count(check);
        if (count == 0)
            continue;
        const bool ignored = checks.settings().ignored.contains(check);
        lines << QStringLiteral("%1  client check %2: %3 time%4")
                         .arg(ignored ? QStringLiteral("SKIP") : QStringLiteral("FAIL"), check)
                         .arg(count)
                         .arg(count == 1 ? QString() : QStringLiteral("s"));
        for (const Finding *finding : findingsOf(checks, check))
            lines << QStringLiteral("        ") + findingText(*finding);
    }
    lines << QStringLiteral("%1: %2 of %3 tests failed")
                     .arg(passed() ? QStringLiteral("PASSED") : QStringLiteral("FAILED"))
                     .arg(failures())
                     .arg(testCount());
    return lines.join('\n') + '\n';
}

} // namespace tqx
