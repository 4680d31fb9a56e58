// The settings schema: every setting reads what it writes and refuses what lies outside it, in a
// message that names it; the store and --config files; the manual page lists every option.

#include "settings/SettingsSchema.h"
#include "settings/SettingsStore.h"

#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using tqx::EmulatorSettings;
using tqx::Setting;
using tqx::SettingProblem;

class SettingsSchemaTest : public QObject
{
    Q_OBJECT

private slots:
    void defaultReadsBack_data();
    void defaultReadsBack();
    void refusedTextNamesTheSetting_data();
    void refusedTextNamesTheSetting();
    void boundsAreTaken_data();
    void boundsAreTaken();
    void storeRoundTrip_data();
    void storeRoundTrip();
    void settingsFile_data();
    void settingsFile();
    void manualPageListsEveryOption();

private:
    QString writeFile(const QByteArray &contents);

    QTemporaryDir m_files;
};

namespace {

// The name a message gives a setting: its option where it has one, else its key.
QString nameOf(const Setting &setting)
{
    return setting.hasOption() ? QStringLiteral("--") + setting.option : setting.key;
}

// The settings a row is about: every one with a key, and every option the schema reads.
template<typename Row>
void forEachReadSetting(Row row)
{
    for (const Setting &setting : tqx::settingsSchema()) {
        if (setting.read && setting.write)
            row(setting);
    }
}

// A value within the setting other than its default, as text.
QString otherValue(const Setting &setting, const EmulatorSettings &defaults)
{
    switch (setting.kind) {
    case Setting::Kind::Flag:
        return setting.write(defaults) == QLatin1String("1") ? QStringLiteral("0")
                                                             : QStringLiteral("1");
    case Setting::Kind::Words:
        return setting.words.last();
    case Setting::Kind::Integer:
    case Setting::Kind::Number:
        return QString::number(setting.bounds->highestIncluded ? setting.bounds->highest
                                                               : setting.bounds->highest - 1);
    case Setting::Kind::Text:
    case Setting::Kind::Program:
        break;
    }
    return QStringLiteral("4.39.07"); // a version, so that version texts take it too
}

} // namespace

void SettingsSchemaTest::defaultReadsBack_data()
{
    QTest::addColumn<QString>("key");
    forEachReadSetting(
            [](const Setting &setting) { QTest::newRow(qPrintable(setting.key)) << setting.key; });
}

// What the store writes for a default is read back as that default, so a file the window saved
// untouched is one --config takes.
void SettingsSchemaTest::defaultReadsBack()
{
    QFETCH(QString, key);
    const Setting &setting = *tqx::settingWithKey(key);
    const EmulatorSettings defaults;
    EmulatorSettings values;
    const QString text = setting.write(defaults);
    const std::optional<SettingProblem> problem = setting.read(values, text);
    QVERIFY2(!problem, qPrintable(problem ? problem->describe(key) : QString()));
    QCOMPARE(setting.write(values), text);
}

void SettingsSchemaTest::refusedTextNamesTheSetting_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("text");

    auto addRow = [](const Setting &setting, const char *what, const QString &text) {
        QTest::addRow("%s %s", qPrintable(nameOf(setting)), what)
                << setting.key << setting.option << text;
    };
    for (const Setting &setting : tqx::settingsSchema()) {
        if (!setting.read)
            continue;
        if (setting.bounds) {
            const double below = setting.bounds->lowest - 0.5;
            const double above = setting.bounds->highestIncluded ? setting.bounds->highest + 0.5
                                                                 : setting.bounds->highest;
            addRow(setting, "below its lowest", QString::number(below, 'g', 15));
            addRow(setting, "above its highest", QString::number(above, 'g', 15));
        }
        if (setting.kind == Setting::Kind::Integer || setting.kind == Setting::Kind::Number) {
            addRow(setting, "not a number", QStringLiteral("lots"));
            addRow(setting, "empty", QString());
        }
        if (setting.kind == Setting::Kind::Words)
            addRow(setting, "an unknown word", QStringLiteral("sideways"));
        if (setting.kind == Setting::Kind::Flag)
            addRow(setting, "neither 1 nor 0", QStringLiteral("yes"));
    }
    const Setting &version = *tqx::settingWithKey(QStringLiteral("full_version"));
    addRow(version, "not a version", QStringLiteral("4.x"));
    const Setting &site = *tqx::settingWithOption(QStringLiteral("site"));
    addRow(site, "past the pole", QStringLiteral("95,10"));
    addRow(site, "past the date line", QStringLiteral("10,-181"));
    addRow(site, "one number", QStringLiteral("48.8"));
}

// A refused value leaves the settings as they were, and the message says which setting refused
// which value.
void SettingsSchemaTest::refusedTextNamesTheSetting()
{
    QFETCH(QString, key);
    QFETCH(QString, option);
    QFETCH(QString, text);
    const Setting &setting
            = key.isEmpty() ? *tqx::settingWithOption(option) : *tqx::settingWithKey(key);
    EmulatorSettings values;
    values.profile = tqx::Profile::Full; // where the version option reads versions
    const EmulatorSettings before = values;
    const std::optional<SettingProblem> problem = setting.read(values, text);
    QVERIFY(problem);
    const QString message = problem->describe(nameOf(setting));
    QVERIFY2(message.startsWith(nameOf(setting)), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("\"%1\"").arg(text.trimmed().toLower())),
             qPrintable(message));
    for (const Setting &other : tqx::settingsSchema()) {
        if (other.write)
            QCOMPARE(other.write(values), other.write(before));
    }
}

void SettingsSchemaTest::boundsAreTaken_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<double>("value");
    for (const Setting &setting : tqx::settingsSchema()) {
        if (!setting.bounds || !setting.isStored())
            continue;
        QTest::addRow("%s lowest", qPrintable(setting.key))
                << setting.key << setting.bounds->lowest;
        const double highest = setting.bounds->highestIncluded ? setting.bounds->highest
                                                               : setting.bounds->highest - 0.01;
        QTest::addRow("%s highest", qPrintable(setting.key)) << setting.key << highest;
    }
}

// The bounds the window's boxes take are the ones the readers (and the hand control) accept.
void SettingsSchemaTest::boundsAreTaken()
{
    QFETCH(QString, key);
    QFETCH(double, value);
    EmulatorSettings values;
    const std::optional<SettingProblem> problem
            = tqx::settingWithKey(key)->read(values, QString::number(value, 'g', 10));
    QVERIFY2(!problem, qPrintable(problem ? problem->describe(key) : QString()));
    QVERIFY(values.mount.handControl.mountError().empty());
}

void SettingsSchemaTest::storeRoundTrip_data()
{
    QTest::addColumn<QString>("key");
    forEachReadSetting(
            [](const Setting &setting) { QTest::newRow(qPrintable(setting.key)) << setting.key; });
}

// A value other than the default comes back from the store as it was, and alone.
void SettingsSchemaTest::storeRoundTrip()
{
    QFETCH(QString, key);
    const Setting &setting = *tqx::settingWithKey(key);
    const EmulatorSettings defaults;
    EmulatorSettings saved;
    const QString text = otherValue(setting, defaults);
    QVERIFY(!setting.read(saved, text));
    QVERIFY(setting.write(saved) != setting.write(defaults));

    const QString path = m_files.filePath(key + QStringLiteral(".ini"));
    {
        QSettings store(path, QSettings::IniFormat);
        store.beginGroup(QStringLiteral("Defaults"));
        tqx::saveSettings(store, saved);
    }
    QSettings store(path, QSettings::IniFormat);
    store.beginGroup(QStringLiteral("Defaults"));
    EmulatorSettings loaded;
    tqx::loadSettings(store, loaded);
    for (const Setting &other : tqx::settingsSchema()) {
        if (other.write)
            QCOMPARE(other.write(loaded), other.write(saved));
    }
    // And the same file is one --config takes.
    EmulatorSettings configured;
    const std::optional<QString> error = tqx::readSettingsFile(path, configured);
    QVERIFY2(!error, qPrintable(error.value_or(QString())));
    QCOMPARE(setting.write(configured), setting.write(saved));
}

QString SettingsSchemaTest::writeFile(const QByteArray &contents)
{
    static int count = 0;
    const QString path = m_files.filePath(QStringLiteral("config-%1.ini").arg(++count));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(contents);
    return path;
}

void SettingsSchemaTest::settingsFile_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("error"); // after the file's name; empty: read
    QTest::addColumn<QString>("key"); // whose value is then checked
    QTest::addColumn<QString>("value");

    QTest::newRow("values taken") << QByteArray("[Defaults]\nprofile=full\nslew_rate=12.5\n") << ""
                                  << "slew_rate"
                                  << "12.5";
    QTest::newRow("a word in any case") << QByteArray("[Defaults]\nversion_format= HEX\n") << ""
                                        << "version_format"
                                        << "hex";
    QTest::newRow("the store's no model") << QByteArray("[Defaults]\nmodel=-1\n") << ""
                                          << "model"
                                          << "-1";
    QTest::newRow("a comma in a text") << QByteArray("[Defaults]\nhc_version=2,2\n") << ""
                                       << "hc_version"
                                       << "2,2";
    QTest::newRow("real line timing") << QByteArray("[Defaults]\nline_timing=Real\n") << ""
                                      << "line_timing"
                                      << "real";
    QTest::newRow("a slow bus") << QByteArray("[Defaults]\nbus_delay_ms=3500\n") << ""
                                << "bus_delay_ms"
                                << "3500";
    QTest::newRow("a bus slower than any")
            << QByteArray("[Defaults]\nbus_delay_ms=10001\n")
            << ": bus_delay_ms must be milliseconds from 0 to 10000, not \"10001\"."
            << ""
            << "";
    QTest::newRow("unknown key") << QByteArray("[Defaults]\ncolour=blue\n")
                                 << ": Defaults/colour=blue: there is no such setting"
                                 << ""
                                 << "";
    QTest::newRow("key outside the section")
            << QByteArray("slew_rate=5\n[Defaults]\n") << ": slew_rate=5: there is no such setting"
            << ""
            << "";
    QTest::newRow("not a number") << QByteArray("[Defaults]\nslew_rate=fast\n")
                                  << ": slew_rate must be degrees per second, not \"fast\"."
                                  << ""
                                  << "";
    QTest::newRow("out of the hand control's bounds")
            << QByteArray("[Defaults]\nworm_period=5\n")
            << ": worm_period: The worm period must be from 10 to 3600 seconds, not \"5\"."
            << ""
            << "";
    QTest::newRow("beyond the reset's bound")
            << QByteArray("[Defaults]\nauto_reset_ms=700000\n")
            << ": auto_reset_ms must be milliseconds (0 for never), not \"700000\"."
            << ""
            << "";
    QTest::newRow("not a version") << QByteArray("[Defaults]\nfull_version=4.x\n")
                                   << ": full_version: \"4.x\" is not a version"
                                   << ""
                                   << "";
    QTest::newRow("unknown word") << QByteArray("[Defaults]\ncoordinates=b1950\n")
                                  << ": coordinates must be auto, date or j2000, not \"b1950\"."
                                  << ""
                                  << "";
}

// A file for a headless run is read strictly: a setting it cannot take names the file, the key
// and the value, and nothing of the file is taken then.
void SettingsSchemaTest::settingsFile()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, error);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const QString path = writeFile(contents + "profile=full\n");
    EmulatorSettings values;
    const std::optional<QString> message = tqx::readSettingsFile(path, values);
    if (error.isEmpty()) {
        QVERIFY2(!message, qPrintable(message.value_or(QString())));
        QCOMPARE(tqx::settingWithKey(key)->write(values), value);
        return;
    }
    QVERIFY(message);
    QVERIFY2(message->startsWith(path + error), qPrintable(*message));
    QVERIFY(values.profile == tqx::Profile::Basic);
}

// The manual page describes exactly the options the program has: the schema's and Qt's own.
void SettingsSchemaTest::manualPageListsEveryOption()
{
    QFile file(QStringLiteral(TQX_MANUAL_PAGE));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString manual = QString::fromUtf8(file.readAll());
    const QString options = QStringLiteral("\n")
            + manual.section(QStringLiteral("\n.SH OPTIONS\n"), 1)
                      .section(QStringLiteral("\n.SH "), 0, 0);
    QVERIFY(options.size() > 1);
    // An option is described under a paragraph tag: ".TP" and then ".BI \-\-slew\-rate DEG".
    const QRegularExpression tagged(
            QStringLiteral(R"(\n\.TP\n\.B[IR]? [^\n]*?\\-\\-([a-z0-9]+(?:\\-[a-z0-9]+)*))"));
    QStringList described;
    for (auto match = tagged.globalMatch(options); match.hasNext();)
        described.append(
                match.next().captured(1).replace(QStringLiteral("\\-"), QStringLiteral("-")));

    QStringList declared {QStringLiteral("help"), QStringLiteral("help-all"),
                          QStringLiteral("version")};
    for (const Setting &setting : tqx::settingsSchema()) {
        if (setting.hasOption())
            declared.append(setting.option);
    }
    described.sort();
    declared.sort();
    QCOMPARE(described, declared);
}

QTEST_GUILESS_MAIN(SettingsSchemaTest)
#include "settings_schema_test.moc"
