// --config FILE: a headless run takes the settings from a file in the store's form, the command
// line winning over it, and refuses a file it cannot take whole.

#include "settings/EmulatorSettings.h"
#include "settings/SettingsStore.h"

#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class ConfigFileTest : public QObject
{
    Q_OBJECT

private slots:
    void configFile_data();
    void configFile();
    void fileTheWindowSavedIsTakenAsItIs();
};

void ConfigFileTest::configFile_data()
{
    QTest::addColumn<QByteArray>("contents"); // of the file CONFIG names; empty: no such file
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // expected in standard error, CONFIG its path

    const QStringList headless {"--headless", "--port", "/nonexistent/ttyX", "--config", "CONFIG"};
    // The full profile refuses a version the basic one takes as its reply.
    QTest::newRow("file value used") << QByteArray("[Defaults]\nprofile=full\n")
                                     << headless + QStringList {"--version-reply", "4.x"} << 2
                                     << "--version-reply: \"4.x\" is not a version";
    QTest::newRow("command line wins")
            << QByteArray("[Defaults]\nprofile=full\n")
            << headless + QStringList {"--profile", "basic", "--version-reply", "4.x"} << 1
            << "cannot open";
    QTest::newRow("command line wins over a refused number")
            << QByteArray("[Defaults]\nslew_rate=12\n")
            << headless + QStringList {"--slew-rate", "0"} << 2
            << "--slew-rate: The slew rate must be from 0.1 to 90 degrees per second, not \"0\".";
    QTest::newRow("bad value") << QByteArray("[Defaults]\nslew_rate=fast\n") << headless << 2
                               << "CONFIG: slew_rate must be degrees per second, not \"fast\".";
    QTest::newRow("bad key") << QByteArray("[Defaults]\ncolour=blue\n") << headless << 2
                             << "CONFIG: Defaults/colour=blue: there is no such setting";
    QTest::newRow("no such file") << QByteArray() << headless << 2
                                  << "cannot read the settings file CONFIG";
    QTest::newRow("bad port") << QByteArray("[Defaults]\nport=tcp:http\n")
                              << QStringList {"--headless", "--config", "CONFIG"} << 2
                              << "CONFIG: port: tcp:http: \"http\" is not a TCP port number";
    QTest::newRow("port from the file") << QByteArray("[Defaults]\nport=/nonexistent/ttyY\n")
                                        << QStringList {"--headless", "--config", "CONFIG"} << 1
                                        << "cannot open /nonexistent/ttyY";
    QTest::newRow("no port in the file or on the command line")
            << QByteArray("[Defaults]\nprofile=full\n")
            << QStringList {"--headless", "--config", "CONFIG"} << 2
            << "--headless needs --port PORT (or the \"port\" key of the --config file)";
    QTest::newRow("given without headless")
            << QByteArray("[Defaults]\n") << QStringList {"--config", "CONFIG"} << 2
            << "--headless and --port PORT go together";
}

void ConfigFileTest::configFile()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QTemporaryDir folder;
    const QString path = folder.filePath("settings.ini");
    if (!contents.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    arguments.replaceInStrings("CONFIG", path);
    QProcess process;
    process.start(TQX_EXECUTABLE, arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    const QString printed = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(printed.contains(output.replace("CONFIG", path)), qPrintable(printed));
}

// Every key the window writes, its own included, is one a headless run takes.
void ConfigFileTest::fileTheWindowSavedIsTakenAsItIs()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("TQX_Emulator.ini");
    {
        QSettings store(path, QSettings::IniFormat);
        store.beginGroup("Defaults");
        tqx::EmulatorSettings saved;
        saved.comPort = -1;
        saved.portName = "virtual";
        saved.profile = tqx::Profile::Full;
        tqx::saveSettings(store, saved);
    }
    QProcess process;
    process.start(TQX_EXECUTABLE, {"--headless", "--port", "/nonexistent/ttyX", "--config", path});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 1);
    const QString printed = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(printed.contains("cannot open"), qPrintable(printed));
}

QTEST_GUILESS_MAIN(ConfigFileTest)
#include "config_file_test.moc"
