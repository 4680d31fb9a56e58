// Where the Help windows' data files are looked for: beside the executable, then in the
// installed data folder, share/tqx-orbivo-emulator beside the executable's bin/.

#include "reference/ProgramFolder.h"
#include "reference/frmRS232.h"
#include "reference/frmTQXcommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tqx;

class DataFileLookupTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void findsEachFile_data();
    void findsEachFile();
    void emptyOverrideMeansTheExecutablesFolder();
    void executableFolderWithoutShareSibling();
};

namespace {

enum class Place { Beside, Share };

// A prefix such as /usr laid out in a temporary folder: bin/ for the executable's folder and
// share/tqx-orbivo-emulator/ for the installed data files.
struct InstallTree
{
    QTemporaryDir root;

    QString bin() const { return root.filePath(QStringLiteral("bin")); }
    QString share() const { return root.filePath(QStringLiteral("share/tqx-orbivo-emulator")); }
    QString folder(Place place) const { return place == Place::Beside ? bin() : share(); }

    bool make() const { return root.isValid() && QDir().mkpath(bin()) && QDir().mkpath(share()); }

    // Writes `content` as `name` in the folder of `place`.
    bool put(Place place, const QString &name, const QByteArray &content) const
    {
        QFile file(QDir(folder(place)).filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }
};

} // namespace

void DataFileLookupTest::cleanup() { setProgramFolder({}); }

void DataFileLookupTest::findsEachFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<int>>("placed"); // the places that hold the file
    QTest::addColumn<int>("expected"); // the place whose path is given

    const int beside = int(Place::Beside);
    const int share = int(Place::Share);
    const struct
    {
        const char *label;
        const char *name;
    } files[] = {{"command reference", frmTQXcommands::documentFileName},
                 {"drawing", frmRS232::drawingFileName}};
    for (const auto &file : files) {
        const QString name = QLatin1String(file.name);
        QTest::addRow("%s beside the executable", file.label)
                << name << QList<int> {beside} << beside;
        QTest::addRow("%s only in share", file.label) << name << QList<int> {share} << share;
        QTest::addRow("%s in both: beside wins", file.label)
                << name << QList<int> {beside, share} << beside;
        QTest::addRow("%s in neither: the path beside the executable", file.label)
                << name << QList<int> {} << beside;
    }
}

void DataFileLookupTest::findsEachFile()
{
    QFETCH(QString, name);
    QFETCH(QList<int>, placed);
    QFETCH(int, expected);

    InstallTree tree;
    QVERIFY(tree.make());
    for (const int place : placed)
        QVERIFY(tree.put(Place(place), name, QByteArray("from ") + QByteArray::number(place)));
    // The other data file sits in both places: finding it says nothing about this one.
    const QString other = name == QLatin1String(frmRS232::drawingFileName)
            ? QLatin1String(frmTQXcommands::documentFileName)
            : QLatin1String(frmRS232::drawingFileName);
    QVERIFY(tree.put(Place::Beside, other, "other"));
    QVERIFY(tree.put(Place::Share, other, "other"));
    setProgramFolder(tree.bin());

    const QString path = programFilePath(name);
    QCOMPARE(path, QDir::toNativeSeparators(QDir(tree.folder(Place(expected))).filePath(name)));
    // The path is clean (no "bin/.." in it), as it is shown to the user when the file is damaged.
    QVERIFY2(!path.contains(QLatin1String("..")), qPrintable(path));

    QFile file(path);
    QCOMPARE(file.exists(), !placed.isEmpty());
    if (file.open(QIODevice::ReadOnly))
        QCOMPARE(file.readAll(), QByteArray("from ") + QByteArray::number(expected));
}

void DataFileLookupTest::emptyOverrideMeansTheExecutablesFolder()
{
    InstallTree tree;
    QVERIFY(tree.make());
    setProgramFolder(tree.bin());
    QCOMPARE(programFolder(), tree.bin());

    setProgramFolder({});
    QCOMPARE(programFolder(), QCoreApplication::applicationDirPath());
    // This test's own folder holds neither file, and neither does its ../share: the path named
    // is beside the executable.
    const QString name = QLatin1String(frmRS232::drawingFileName);
    QCOMPARE(programFilePath(name),
             QDir::toNativeSeparators(QDir(QCoreApplication::applicationDirPath()).filePath(name)));
}

// An executable's folder at the top of a tree, or one whose parent has no share folder: the
// lookup still names the path beside the executable.
void DataFileLookupTest::executableFolderWithoutShareSibling()
{
    QTemporaryDir alone;
    QVERIFY(alone.isValid());
    setProgramFolder(alone.path());
    const QString name = QLatin1String(frmTQXcommands::documentFileName);
    QCOMPARE(programFilePath(name), QDir::toNativeSeparators(QDir(alone.path()).filePath(name)));
}

QTEST_GUILESS_MAIN(DataFileLookupTest)
#include "data_file_lookup_test.moc"
