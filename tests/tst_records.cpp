// The records on disk: what a file at their path holds or is, and what
// becomes of a best score that cannot be saved.

#include "testing.h"

#include "game/records.h"

#include <QTemporaryDir>

namespace {

QStringList messages;
void keepMessage(QtMsgType, const QMessageLogContext&, const QString& text) { messages.append(text); }

struct Saving { QString setup; double bestRead; bool kept; };

} // namespace

Q_DECLARE_METATYPE(Saving)

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void recordsSurviveABadFile_data()
    {
        ROWS(Saving); // what stands at the records' path, the best read from it, whether a new one is kept
        QTest::newRow("nothing yet") << Saving{"", -1, true};
        QTest::newRow("a good file") << Saving{"bestScore=40.5\nlongestSurvivalMs=900\n", 40.5, true};
        QTest::newRow("garbage") << Saving{"\x01\x02[[[=\n=\xff", -1, true};
        QTest::newRow("a number that is not one") << Saving{"bestScore=lots\n", -1, true};
        QTest::newRow("a folder in its place") << Saving{"folder", -1, false};
        QTest::newRow("its folder is a file") << Saving{"file", -1, false};
    }

    void recordsSurviveABadFile()
    {
        ROW(Saving);
        QTemporaryDir home;
        const QString folder = home.filePath("carrowmere"), path = folder + "/carrowmere.conf";
        QDir().mkpath(row.setup == "folder" ? path : row.setup == "file" ? home.path() : folder);
        QFile file(row.setup == "file" ? folder : path);
        QVERIFY(row.setup == "folder" || file.open(QIODevice::WriteOnly));
        file.write(row.setup == "file" ? "" : row.setup.toLatin1());
        file.close();
        messages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(keepMessage);
        Records records(path);
        QCOMPARE(records.bestScore, row.bestRead);
        QVERIFY(records.add(50, 1000) && records.add(60, 2000));
        qInstallMessageHandler(previous);
        // Kept in memory all the same, and said once why it was not saved.
        QVERIFY(records.bestScore == 60 && messages.size() == (row.kept ? 0 : 1));
        QCOMPARE(Records(path).bestScore, row.kept ? 60.0 : row.bestRead);
        QCOMPARE(Records(path).longestSurvival, row.kept ? 2000 : 0);
    }
};

QTEST_MAIN(TestRecords)
#include "tst_records.moc"
