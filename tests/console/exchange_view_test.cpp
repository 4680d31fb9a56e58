// The exchange view and what the console says of discarded bytes: a client on a real
// pseudo-terminal, the rows it makes (marked by kind), the filter, the folding of polling, the
// search and copy; the status bar's markers of a blocked buffer and of discarded bytes; the two
// logs scrolling together and copy from them. The line's quiet gaps run on a clock the test steps.

#include "console/ExchangeFilter.h"
#include "console/ExchangeModel.h"
#include "console/ExchangeView.h"
#include "console/LogModel.h"
#include "console/frmMain.h"
#include "emulation/CommandInterpreter.h"
#include "session/EmulatorSession.h"
#include "session/Exchange.h"
#include "session/PortNames.h"
#include "support/AppendingStage.h"
#include "support/PseudoTerminal.h"
#include "widgets/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

using tqx::ExchangeModel;
using tqx::frmMain;
using Kind = tqx::ExchangeModel::Kind;

namespace {

// The console on "Com 3", the pseudo-terminal's other end, its line's quiet gaps on `lineMs`.
struct ScriptedConsole
{
    PseudoTerminal pty;
    frmMain window;
    qint64 lineMs = 1'000'000;

    explicit ScriptedConsole(tqx::Profile profile = tqx::Profile::Basic)
    {
        window.chooseProfile(profile);
        window.interpreter().setClock([this] { return lineMs; });
        window.interpreter().setMountClocks(window.Comm->mountClock().clocks());
        window.setClock([this] { return lineMs; });
        const QString path = pty.slavePath();
        window.Comm->setPortNameMapper(
                [path](int number) { return number == 3 ? path : tqx::platformPortName(number); });
        window.ComCombo->setCurrentIndex(2);
        window.StartButton->click();
    }

    // Sends the bytes and waits until the session has answered `answers` commands.
    bool send(const QByteArray &bytes, int answers = 1)
    {
        QSignalSpy answered(window.Comm, &tqx::EmulatorSession::exchanged);
        QSignalSpy changed(window.Comm, &tqx::EmulatorSession::bufferChanged);
        pty.write(bytes);
        if (answers == 0)
            return changed.wait(3000);
        QDeadlineTimer deadline(3000);
        while (answered.count() < answers && !deadline.hasExpired())
            answered.wait(int(deadline.remainingTime()));
        pty.readAvailable(0);
        return answered.count() == answers;
    }

    // The line stays quiet long enough for the bytes of an unknown command to be discarded.
    void quietGap()
    {
        lineMs += tqx::CommandInterpreter::quietGapMs + 1;
        window.interpreter().poll();
    }

    tqx::ExchangeView &view()
    {
        window.ShowExchangesButton->trigger();
        window.exchangeView()->refresh();
        return *window.exchangeView();
    }
};

QStringList column(const QAbstractItemModel &model, int column)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.index(row, column).data().toString();
    return texts;
}

QStringList kinds(const QAbstractItemModel &model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names << ExchangeModel::kindName(
                Kind(model.index(row, 0).data(ExchangeModel::kindRole).toInt()));
    return names;
}

} // namespace

class ExchangeViewTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void rowsAndMarks_data();
    void rowsAndMarks();
    void changedReplyAndClientsHaveRowsOfTheirOwn();
    void filterFoldAndSearch_data();
    void filterFoldAndSearch();
    void copyTakesEverySelectedRowAndColumn();
    void followsNewestUntilScrolledAway();
    void closedViewQueuesNoMoreThanItsBound();
    void foldCountsTheRowsKept_data();
    void foldCountsTheRowsKept();
    void markersTellOfBlockedAndDiscardedBytes_data();
    void markersTellOfBlockedAndDiscardedBytes();
    void badGotoAndUnknownCommandReachTheShownView();
    void clientLeavingMidCommandResetsTheBuffer();
    void logsScrollTogether_data();
    void logsScrollTogether();
    void logCopyTakesTimeAndMeaning_data();
    void logCopyTakesTimeAndMeaning();

private:
    std::unique_ptr<QTemporaryDir> m_config;
};

void ExchangeViewTest::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config->path());
    tqx::setMessageSink([](QWidget *, const QString &) {});
    tqx::setSystemPortLister([] { return QStringList(); });
}

void ExchangeViewTest::cleanup() { tqx::setMessageSink({}); }

void ExchangeViewTest::rowsAndMarks_data()
{
    QTest::addColumn<tqx::Profile>("profile");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("answers");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("meaning"); // a part of it

    QTest::newRow("answered") << tqx::Profile::Basic << QByteArray("E") << 1 << "answered"
                              << "E"
                              << "RA";
    QTest::newRow("bad goto, full profile")
            << tqx::Profile::Full << QByteArray("R3AAG,0E38") << 1 << "malformed"
            << "R3AAG,0E38"
            << "'G' at byte 5 is not a hexadecimal digit -> acknowledged";
    QTest::newRow("unknown command, full profile")
            << tqx::Profile::Full << QByteArray("Xhello") << 0 << "discarded"
            << "Xhello"
            << "unknown command";
}

// Each row says when, what was sent and answered, and what it means, marked and coloured by its
// kind; bytes thrown away get a row of their own once they are.
void ExchangeViewTest::rowsAndMarks()
{
    QFETCH(tqx::Profile, profile);
    QFETCH(QByteArray, sent);
    QFETCH(int, answers);
    QFETCH(QString, kind);
    QFETCH(QString, command);
    QFETCH(QString, meaning);
    ScriptedConsole console(profile);
    QVERIFY(console.window.PortIsOpen);
    QVERIFY(console.send(sent, answers));
    console.quietGap();
    const QAbstractItemModel &rows = *console.view().table()->model();

    QCOMPARE(rows.rowCount(), 1);
    QCOMPARE(kinds(rows), QStringList {kind});
    QCOMPARE(rows.index(0, ExchangeModel::CommandColumn).data().toString(), command);
    QVERIFY2(rows.index(0, ExchangeModel::MeaningColumn).data().toString().contains(meaning),
             qPrintable(rows.index(0, ExchangeModel::MeaningColumn).data().toString()));
    QVERIFY(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d$")
                    .match(rows.index(0, ExchangeModel::TimeColumn).data().toString())
                    .hasMatch());
    const Kind expected = kind == "answered" ? Kind::Answered
            : kind == "malformed"            ? Kind::Malformed
                                             : Kind::Unanswered;
    QVERIFY(rows.index(0, ExchangeModel::KindColumn)
                    .data()
                    .toString()
                    .startsWith(ExchangeModel::kindMark(expected)));
    QCOMPARE(rows.index(0, 0).data(Qt::ForegroundRole).value<QColor>(),
             ExchangeModel::kindColour(expected));
}

void ExchangeViewTest::changedReplyAndClientsHaveRowsOfTheirOwn()
{
    ScriptedConsole console;
    console.window.Comm->replyChain().append(std::make_unique<AppendingStage>("!"));
    QVERIFY(console.send("E"));
    emit console.window.Comm->clientConnected(QStringLiteral("127.0.0.1:5000"));
    emit console.window.Comm->clientLeft();
    const QAbstractItemModel &rows = *console.view().table()->model();

    QCOMPARE(kinds(rows), QStringList({"changed", "client", "client"}));
    QCOMPARE(rows.index(0, ExchangeModel::ReplyColumn).data().toString(), "310C,0BBB#!");
    QVERIFY(rows.index(0, ExchangeModel::MeaningColumn).data().toString().endsWith("; appended !"));
    QCOMPARE(rows.index(0, 0).data(Qt::ForegroundRole).value<QColor>(),
             tqx::LogModel::changedReplyColour());
    QCOMPARE(rows.index(1, ExchangeModel::MeaningColumn).data().toString(),
             "connected: 127.0.0.1:5000");
    QCOMPARE(rows.index(1, ExchangeModel::CommandColumn).data().toString(), QString());
    QVERIFY(ExchangeModel::kindMark(Kind::Client) != ExchangeModel::kindMark(Kind::Changed));
}

void ExchangeViewTest::filterFoldAndSearch_data()
{
    QTest::addColumn<QString>("letters");
    QTest::addColumn<bool>("discardedShown");
    QTest::addColumn<bool>("pollingHidden");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QStringList>("counts");

    const QStringList all {"E", "e", "E", "e", "E", "V", "Xhello", "E", "E"};
    QTest::newRow("everything") << "" << true << false << "" << all << QStringList();
    QTest::newRow("one letter") << "E" << true << false << ""
                                << QStringList({"E", "E", "E", "E", "E"}) << QStringList();
    QTest::newRow("two letters") << "E e" << true << false << ""
                                 << QStringList({"E", "e", "E", "e", "E", "E", "E"})
                                 << QStringList();
    QTest::newRow("discards hidden")
            << "" << false << false << "" << QStringList({"E", "e", "E", "e", "E", "V", "E", "E"})
            << QStringList();
    // A repeat joins its group across other queries, not across what else happened.
    QTest::newRow("polling hidden")
            << "" << true << true << "" << QStringList({"e", "E", "V", "Xhello", "E"})
            << QStringList({"2", "3", "", "", "2"});
    QTest::newRow("search, any case")
            << "" << true << false << "UNKNOWN" << QStringList({"Xhello"}) << QStringList();
    QTest::newRow("search in the reply")
            << "" << true << false << "\\x15#" << QStringList({"V"}) << QStringList();
    QTest::newRow("letters and folding")
            << "e" << true << true << "" << QStringList({"e"}) << QStringList({"2"});
}

void ExchangeViewTest::filterFoldAndSearch()
{
    QFETCH(QString, letters);
    QFETCH(bool, discardedShown);
    QFETCH(bool, pollingHidden);
    QFETCH(QString, search);
    QFETCH(QStringList, commands);
    QFETCH(QStringList, counts);
    ScriptedConsole console(tqx::Profile::Full);
    for (const QByteArray command : {"E", "e", "E", "e", "E", "V"})
        QVERIFY(console.send(command));
    QVERIFY(console.send("Xhello", 0));
    console.quietGap();
    QVERIFY(console.send("E"));
    QVERIFY(console.send("E"));
    tqx::ExchangeView &view = console.view();

    view.commandLettersText()->setText(letters);
    view.kindBox(Kind::Unanswered)->setChecked(discardedShown);
    view.hidePollingBox()->setChecked(pollingHidden);
    view.searchText()->setText(search);
    const QAbstractItemModel &rows = *view.table()->model();
    QCOMPARE(column(rows, ExchangeModel::CommandColumn), commands);
    if (!counts.isEmpty())
        QCOMPARE(column(rows, ExchangeModel::CountColumn), counts);
    QCOMPARE(view.table()->isColumnHidden(ExchangeModel::CountColumn), !pollingHidden);
}

// Tab-separated, every column and the count, oldest first whatever order they were selected in;
// by Ctrl+C and from the context menu.
void ExchangeViewTest::copyTakesEverySelectedRowAndColumn()
{
    ScriptedConsole console(tqx::Profile::Full);
    QVERIFY(console.send("E"));
    QVERIFY(console.send("Xhello", 0));
    console.quietGap();
    QVERIFY(console.send("e"));
    tqx::ExchangeView &view = console.view();
    QTableView *table = view.table();
    table->selectRow(2);
    table->selectionModel()->select(table->model()->index(0, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QApplication::clipboard()->clear();
    view.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&view));
    table->setFocus();
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);

    const QStringList lines = QApplication::clipboard()->text().split('\n');
    QCOMPARE(lines.size(), 2);
    const QStringList first = lines[0].split('\t');
    QCOMPARE(first.size(), ExchangeModel::columns);
    QCOMPARE(first[ExchangeModel::CountColumn], "1");
    QCOMPARE(first[ExchangeModel::CommandColumn], "E");
    QCOMPARE(first[ExchangeModel::ReplyColumn].size(), 10);
    QVERIFY(first[ExchangeModel::KindColumn].endsWith("answered"));
    QVERIFY(!first[ExchangeModel::MeaningColumn].isEmpty());
    QCOMPARE(lines[1].split('\t')[ExchangeModel::CommandColumn], "e");
    QVERIFY(table->actions().contains(view.copyAction()));
    QCOMPARE(table->contextMenuPolicy(), Qt::ActionsContextMenu);
}

void ExchangeViewTest::followsNewestUntilScrolledAway()
{
    ScriptedConsole console;
    for (int i = 0; i < 60; ++i)
        QVERIFY(console.send("E"));
    tqx::ExchangeView &view = console.view();
    view.resize(600, 200);
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QScrollBar *bar = view.table()->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QVERIFY(view.isFollowing());
    QCOMPARE(bar->value(), bar->maximum());

    bar->setValue(3);
    QVERIFY(!view.isFollowing());
    QVERIFY(console.send("E"));
    view.refresh();
    QCOMPARE(bar->value(), 3);

    bar->setValue(bar->maximum());
    QVERIFY(view.isFollowing());
    QVERIFY(console.send("E"));
    view.refresh();
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(view.table()->model()->rowCount(), 62);
}

// While no view shows them, rows only wait, as many as the model keeps; the view's frame timer
// runs only while it is shown.
void ExchangeViewTest::closedViewQueuesNoMoreThanItsBound()
{
    ExchangeModel model(nullptr, 3);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    for (int i = 0; i < 5; ++i)
        model.appendClient(i, QString::number(i));
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(inserted.count(), 0);
    model.publish();
    QCOMPARE(column(model, ExchangeModel::MeaningColumn), QStringList({"2", "3", "4"}));

    ScriptedConsole console;
    QCOMPARE(console.window.exchanges().maxRows(), tqx::LogModel::defaultMaxLines);
    QVERIFY(!console.window.exchangeView());
    tqx::ExchangeView &view = console.view();
    QVERIFY(view.frameTimer().isActive());
    view.hide();
    QVERIFY(!view.frameTimer().isActive());
}

void ExchangeViewTest::foldCountsTheRowsKept_data()
{
    QTest::addColumn<int>("maxRows");
    QTest::addColumn<QStringList>("commands"); // answered, one publish each
    QTest::addColumn<QStringList>("shown"); // folded: command and count
    QTest::newRow("a run within the bound")
            << 10 << QStringList({"E", "L", "E"}) << QStringList({"L 1", "E 2"});
    QTest::newRow("the oldest of a run gone")
            << 3 << QStringList({"E", "E", "E", "E", "E"}) << QStringList({"E 3"});
    QTest::newRow("four queries in turn") << 10 << QStringList({"a", "b", "c", "d", "a"})
                                          << QStringList({"b 1", "c 1", "d 1", "a 2"});
    QTest::newRow("a fifth query between")
            << 10 << QStringList({"a", "b", "c", "d", "e", "a"})
            << QStringList({"a 1", "b 1", "c 1", "d 1", "e 1", "a 1"});
}

// Folded, a group is its latest row with the count of its rows still kept.
void ExchangeViewTest::foldCountsTheRowsKept()
{
    QFETCH(int, maxRows);
    QFETCH(QStringList, commands);
    QFETCH(QStringList, shown);
    ExchangeModel model(nullptr, std::size_t(maxRows));
    tqx::ExchangeFilter filter(&model);
    filter.setPollingHidden(true);
    qint64 time = 0;
    for (const QString &command : commands) {
        const QByteArray bytes = command.toLatin1();
        tqx::Exchange exchange;
        exchange.msecsSinceEpoch = ++time;
        exchange.command.assign(bytes.constData(), std::size_t(bytes.size()));
        exchange.reply.assign(1, '#');
        model.appendExchange(exchange);
        model.publish();
    }
    QStringList rows;
    for (int row = 0; row < filter.rowCount(); ++row)
        rows << filter.index(row, ExchangeModel::CommandColumn).data().toString() + ' '
                        + QString::number(
                                model.count(filter.mapToSource(filter.index(row, 0)).row()));
    QCOMPARE(rows, shown);
}

void ExchangeViewTest::markersTellOfBlockedAndDiscardedBytes_data()
{
    QTest::addColumn<tqx::Profile>("profile");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<qint64>("autoResetMs"); // 0: the Reset button
    QTest::addColumn<QString>("blocked"); // the marker's text while blocked, "" for never
    QTest::addColumn<QString>("discarded");
    QTest::addColumn<QString>("kind");

    QTest::newRow("basic profile, reset by the button")
            << tqx::Profile::Basic << QByteArray("Xhello") << qint64(0) << "Blocked: 6 bytes since"
            << "Discarded: 6 bytes since"
            << "reset";
    QTest::newRow("basic profile, reset automatically")
            << tqx::Profile::Basic << QByteArray("Q") << qint64(2000) << "Blocked: 1 byte since"
            << "Discarded: 1 byte since"
            << "reset";
    QTest::newRow("full profile, unknown command discarded")
            << tqx::Profile::Full << QByteArray("Xhello") << qint64(0) << ""
            << "Discarded: 6 bytes since"
            << "discarded";
}

// The buffer is called blocked only once it has waited longer than a discard takes; what leaves
// it unanswered is counted until Clear, and a click opens the exchange view at its rows.
void ExchangeViewTest::markersTellOfBlockedAndDiscardedBytes()
{
    QFETCH(tqx::Profile, profile);
    QFETCH(QByteArray, sent);
    QFETCH(qint64, autoResetMs);
    QFETCH(QString, blocked);
    QFETCH(QString, discarded);
    QFETCH(QString, kind);
    ScriptedConsole console(profile);
    frmMain &window = console.window;
    window.Comm->setAutoResetAfter(autoResetMs);
    QVERIFY(console.send("E"));
    QVERIFY(console.send(sent, 0));
    window.updateMarkers();
    QVERIFY(window.BlockedMarker->isHidden());

    console.quietGap();
    console.lineMs += 3 * tqx::CommandInterpreter::quietGapMs;
    window.updateMarkers();
    QCOMPARE(!window.BlockedMarker->isHidden(), !blocked.isEmpty());
    if (!blocked.isEmpty()) {
        QVERIFY2(window.BlockedMarker->text().startsWith(blocked),
                 qPrintable(window.BlockedMarker->text()));
        QVERIFY(!window.statusBar()->isHidden());
        if (autoResetMs > 0) {
            console.lineMs += autoResetMs;
            window.interpreter().poll();
        } else {
            window.ResetButton->click();
        }
    }
    QVERIFY(window.BlockedMarker->isHidden());
    QVERIFY(!window.DiscardedMarker->isHidden());
    QVERIFY2(window.DiscardedMarker->text().startsWith(discarded),
             qPrintable(window.DiscardedMarker->text()));

    // Rows the view was told to hide come back for the click.
    console.view().kindBox(Kind::Unanswered)->setChecked(false);
    console.view().kindBox(Kind::Reset)->setChecked(false);
    window.DiscardedMarker->click();
    tqx::ExchangeView *view = window.exchangeView();
    QVERIFY(view && view->isVisible());
    QVERIFY(!view->isFollowing());
    const QModelIndexList selected = view->table()->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected[0].row(), 1);
    QCOMPARE(kinds(*view->table()->model()), QStringList({"answered", kind}));
    QCOMPARE(selected[0].siblingAtColumn(ExchangeModel::CommandColumn).data().toString(),
             QString::fromLatin1(sent));

    window.ClearButton->click();
    QVERIFY(window.DiscardedMarker->isHidden());
    QCOMPARE(view->table()->model()->rowCount(), 0);
}

// On the line's own clock and the view's own frame timer, as a user sees it: the hand control
// acknowledges the goto with a bad hex digit, and discards the unknown command after the quiet
// gap.
void ExchangeViewTest::badGotoAndUnknownCommandReachTheShownView()
{
    PseudoTerminal pty;
    frmMain window;
    window.chooseProfile(tqx::Profile::Full);
    const QString path = pty.slavePath();
    window.Comm->setPortNameMapper(
            [path](int number) { return number == 3 ? path : tqx::platformPortName(number); });
    window.ComCombo->setCurrentIndex(2);
    window.StartButton->click();
    QVERIFY(window.PortIsOpen);
    window.ShowExchangesButton->trigger();
    const QAbstractItemModel &rows = *window.exchangeView()->table()->model();

    QElapsedTimer sent;
    sent.start();
    pty.write("R3AAG,0E38");
    QTRY_COMPARE_WITH_TIMEOUT(rows.rowCount(), 1, 5000);
    const qint64 gotoShownMs = sent.restart();
    pty.write("Xhello");
    QTRY_COMPARE_WITH_TIMEOUT(rows.rowCount(), 2, 5000);
    qInfo("shown after %lld ms and %lld ms", gotoShownMs, sent.elapsed());
    QCOMPARE(kinds(rows), QStringList({"malformed", "discarded"}));
    QCOMPARE(column(rows, ExchangeModel::CommandColumn), QStringList({"R3AAG,0E38", "Xhello"}));
    QCOMPARE(rows.index(0, 0).data(Qt::ForegroundRole).value<QColor>(),
             ExchangeModel::kindColour(Kind::Malformed));
    QCOMPARE(rows.index(1, 0).data(Qt::ForegroundRole).value<QColor>(),
             ExchangeModel::kindColour(Kind::Unanswered));
    QVERIFY(!window.DiscardedMarker->isHidden());
    QVERIFY(window.DiscardedMarker->text().startsWith("Discarded: 6 bytes since"));
}

// What a client leaves half-sent is no longer lost without a word.
void ExchangeViewTest::clientLeavingMidCommandResetsTheBuffer()
{
    ScriptedConsole console;
    QVERIFY(console.send("R34A", 0));
    emit console.window.Comm->transport()->clientLeft();
    const QAbstractItemModel &rows = *console.view().table()->model();
    QCOMPARE(kinds(rows), QStringList({"reset", "client"}));
    QCOMPARE(rows.index(0, ExchangeModel::CommandColumn).data().toString(), "R34A");
    QVERIFY(rows.index(0, ExchangeModel::MeaningColumn).data().toString().contains("client left"));
    QVERIFY(console.window.DiscardedMarker->text().startsWith("Discarded: 4 bytes since"));
}

void ExchangeViewTest::logsScrollTogether_data()
{
    QTest::addColumn<bool>("moveReplies");
    QTest::newRow("command log moved") << false;
    QTest::newRow("response log moved") << true;
}

// Every exchange has a line in each log, so the same row is at the top of both.
void ExchangeViewTest::logsScrollTogether()
{
    QFETCH(bool, moveReplies);
    ScriptedConsole console;
    frmMain &window = console.window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (int i = 0; i < 40; ++i)
        QVERIFY(console.send(i % 2 ? "E" : "Kq"));
    window.refreshDisplay();
    QScrollBar *moved = (moveReplies ? window.RespList : window.InputList)->verticalScrollBar();
    QScrollBar *other = (moveReplies ? window.InputList : window.RespList)->verticalScrollBar();
    QVERIFY(moved->maximum() > 10);
    QCOMPARE(other->value(), moved->value());

    moved->setValue(7);
    QCOMPARE(other->value(), 7);
    QCOMPARE(window.InputList->rowAt(0), window.RespList->rowAt(0));
    QCOMPARE(window.InputList->indexAt({1, 1}).data().toString(), "E");
    QCOMPARE(window.RespList->indexAt({1, 1}).data().toString(), "310C,0BBB#");
}

void ExchangeViewTest::logCopyTakesTimeAndMeaning_data()
{
    QTest::addColumn<bool>("replies");
    QTest::addColumn<QStringList>("bytes");
    QTest::newRow("commands") << false << QStringList({"E", "Kq"});
    QTest::newRow("responses") << true << QStringList({"310C,0BBB#", "q#"});
}

void ExchangeViewTest::logCopyTakesTimeAndMeaning()
{
    QFETCH(bool, replies);
    QFETCH(QStringList, bytes);
    ScriptedConsole console;
    frmMain &window = console.window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (const QByteArray command : {"V", "E", "Kq"})
        QVERIFY(console.send(command));
    window.refreshDisplay();
    tqx::LogView *log = replies ? window.RespList : window.InputList;
    log->clearSelection();
    log->selectionModel()->select(log->model()->index(2, 0), QItemSelectionModel::Select);
    log->selectionModel()->select(log->model()->index(1, 0), QItemSelectionModel::Select);
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    log->setFocus();
    QApplication::clipboard()->clear();
    window.CopyLogButton->trigger();

    const QStringList lines = QApplication::clipboard()->text().split('\n');
    QCOMPARE(lines.size(), 2);
    const QRegularExpression time("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$");
    for (int i = 0; i < 2; ++i) {
        const QStringList fields = lines[i].split('\t');
        QCOMPARE(fields.size(), 3);
        QVERIFY2(time.match(fields[0]).hasMatch(), qPrintable(fields[0]));
        QCOMPARE(fields[1], bytes[i]);
        QCOMPARE(fields[2], (replies ? window.respLog() : window.inputLog()).meaning(i + 1));
        QVERIFY(!fields[2].isEmpty());
    }
    // New lines leave a selection of several as it was.
    QVERIFY(console.send("E"));
    window.refreshDisplay();
    QCOMPARE(log->selectionModel()->selectedRows().size(), 2);
}

QTEST_MAIN(ExchangeViewTest)
#include "exchange_view_test.moc"
