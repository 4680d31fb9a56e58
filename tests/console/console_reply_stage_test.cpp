// The console's logs and its saved log show the replies that went out: with a reply stage on the
// session, the client's bytes, the response log and the journal agree, and say what the stage
// did.

#include "console/LogModel.h"
#include "console/frmMain.h"
#include "session/EmulatorSession.h"
#include "session/PortNames.h"
#include "support/AppendingStage.h"
#include "support/PseudoTerminal.h"
#include "widgets/MessageBox.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using tqx::frmMain;

class ConsoleReplyStageTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void logsShowTheReplyAsSent();
    void notesStayWithTheirLines_data();
    void notesStayWithTheirLines();

private:
    std::unique_ptr<QTemporaryDir> m_config;
    QStringList m_messages;
};

void ConsoleReplyStageTest::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config->path());
    m_messages.clear();
    tqx::setMessageSink([this](QWidget *, const QString &text) { m_messages << text; });
    tqx::setSystemPortLister([] { return QStringList(); });
}

void ConsoleReplyStageTest::cleanup() { tqx::setMessageSink({}); }

void ConsoleReplyStageTest::logsShowTheReplyAsSent()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    frmMain window;
    window.Comm->replyChain().append(std::make_unique<AppendingStage>("!"));
    const QString path = pty.slavePath();
    window.Comm->setPortNameMapper(
            [path](int number) { return number == 3 ? path : tqx::platformPortName(number); });
    window.ComCombo->setCurrentIndex(2);
    window.StartButton->click();
    QVERIFY2(window.PortIsOpen, qPrintable(m_messages.join('\n')));

    pty.write("E");
    QCOMPARE(pty.read(11), QByteArray("310C,0BBB#!"));
    pty.write("Kq");
    QCOMPARE(pty.read(3), QByteArray("q#!"));
    window.refreshDisplay();

    const QAbstractItemModel *replies = window.RespList->model();
    QCOMPARE(replies->rowCount(), 2);
    QCOMPARE(replies->index(0, 0).data().toString(), QString("310C,0BBB#!"));
    QCOMPARE(replies->index(1, 0).data().toString(), QString("q#!"));
    QCOMPARE(window.respLog().note(1), QString("appended !"));
    QVERIFY(replies->index(1, 0).data(Qt::ToolTipRole).toString().endsWith("\nappended !"));
    // A changed reply stands out; a command does not.
    QCOMPARE(replies->index(1, 0).data(Qt::ForegroundRole).value<QColor>(),
             tqx::LogModel::changedReplyColour());
    QVERIFY(!window.InputList->model()->index(1, 0).data(Qt::ForegroundRole).isValid());
    QCOMPARE(window.inputLog().note(1), QString());
    QCOMPARE(window.InputList->model()->index(1, 0).data().toString(), QString("Kq"));

    QTemporaryDir folder;
    const QString saved = folder.filePath("log.txt");
    QVERIFY(window.journal().saveTo(saved, nullptr));
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.value(3).split('\t').value(2), QByteArray("q#!"));
    QCOMPARE(lines.value(3).split('\t').value(4), QByteArray("appended !"));
}

void ConsoleReplyStageTest::notesStayWithTheirLines_data()
{
    QTest::addColumn<QStringList>("notes"); // one reply each, "" for none
    QTest::addColumn<int>("batch"); // replies published together
    QTest::addColumn<QStringList>("shown"); // the notes of the lines left, oldest first
    const QStringList five {"one", "", "three", "", "five"};
    QTest::newRow("within the limit")
            << QStringList {"one", "", "three"} << 1 << QStringList {"one", "", "three"};
    QTest::newRow("oldest lines leave, one at a time")
            << five << 1 << QStringList {"three", "", "five"};
    QTest::newRow("a batch larger than the log") << five << 5 << QStringList {"three", "", "five"};
    QTest::newRow("no notes at all")
            << QStringList {"", "", "", ""} << 2 << QStringList {"", "", ""};
}

// The response log keeps a note beside its line: it shows on the line it was given with, and
// leaves the log with it.
void ConsoleReplyStageTest::notesStayWithTheirLines()
{
    QFETCH(QStringList, notes);
    QFETCH(int, batch);
    QFETCH(QStringList, shown);
    tqx::LogModel log(nullptr, 3);
    for (qsizetype i = 0; i < notes.size(); ++i) {
        log.appendReply(std::to_string(i) + "#", "E", {}, notes.at(i));
        if ((i + 1) % batch == 0)
            log.publish();
    }
    log.publish();
    QStringList left;
    for (int row = 0; row < log.rowCount(); ++row) {
        left << log.note(row);
        const qsizetype given = notes.size() - log.rowCount() + row;
        QCOMPARE(log.line(row), std::to_string(given) + "#");
    }
    QCOMPARE(left, shown);
    log.clear();
    log.appendReply("x#", "E", {});
    log.publish();
    QCOMPARE(log.note(0), QString());
}

QTEST_MAIN(ConsoleReplyStageTest)
#include "console_reply_stage_test.moc"
