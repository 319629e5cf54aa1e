#include "classes/clsProject.h"
#include "platform/AppError.h"

#include <QtTest>

// Operations are written as one letter each: F MoveFirst, N MoveNext, R Reset, A Add (IDs 10, 20, …).
class tst_clsProject : public QObject
{
    Q_OBJECT

private slots:
    void cursorCases_data();
    void cursorCases();
    void gotoID_data();
    void gotoID();
    void writesAtTheCursor();
};

namespace {

// Applies the operations; returns the results of the Move calls as "tf…".
QString Run(clsProject& p, const QString& ops)
{
    QString results;
    int next = 10;
    for (QChar op : ops) {
        switch (op.unicode()) {
        case 'F': results += p.MoveFirst() ? 't' : 'f'; break;
        case 'N': results += p.MoveNext() ? 't' : 'f'; break;
        case 'R': p.Reset(); break;
        case 'A':
            p.Add(next, QStringLiteral("P%1").arg(next), QStringLiteral("D%1").arg(next));
            next += 10;
            break;
        }
    }
    return results;
}

} // namespace

void tst_clsProject::cursorCases_data()
{
    QTest::addColumn<QString>("ops");
    QTest::addColumn<QString>("moves");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("name");   // name at the cursor; empty outside the list
    QTest::addColumn<int>("id");         // -1: reading the ID raises
    QTest::newRow("new list") << "" << "" << 0 << "" << -1;
    QTest::newRow("MoveFirst on empty list is true") << "F" << "t" << 0 << "" << -1;
    QTest::newRow("MoveNext on empty list is false") << "FN" << "tf" << 0 << "" << -1;
    QTest::newRow("after Add the cursor is on it") << "AA" << "" << 2 << "P20" << 20;
    QTest::newRow("three: true twice, then false") << "AAAFNNN" << "tttf" << 3 << "P30" << 30;
    QTest::newRow("Reset empties") << "AAR" << "" << 0 << "" << -1;
    QTest::newRow("MoveFirst after Reset") << "AARF" << "t" << 0 << "" << -1;
    QTest::newRow("first after adds") << "AAAF" << "t" << 3 << "P10" << 10;
}

void tst_clsProject::cursorCases()
{
    QFETCH(QString, ops);
    QFETCH(QString, moves);
    QFETCH(int, count);
    QFETCH(QString, name);
    QFETCH(int, id);
    clsProject p;
    QCOMPARE(Run(p, ops), moves);
    QCOMPARE(p.Count(), count);
    QCOMPARE(p.Name(), name);
    QCOMPARE(p.Description(), name.isEmpty() ? QString() : QStringLiteral("D") + name.mid(1));
    if (id < 0) {
        QVERIFY_THROWS_EXCEPTION(AppError, p.ProjectID());
        QVERIFY_THROWS_EXCEPTION(AppError, p.TotalTime());
        // Writes outside the list do nothing and raise nothing.
        p.ProjectID(5);
        p.Name(QStringLiteral("x"));
        p.Description(QStringLiteral("y"));
        p.TotalTime(1.5);
        QCOMPARE(p.Name(), QString());
        QCOMPARE(p.Count(), count);
    } else {
        QCOMPARE(p.ProjectID(), id);
        QCOMPARE(p.TotalTime(), 0.0);
    }
}

void tst_clsProject::gotoID_data()
{
    QTest::addColumn<QList<int>>("ids");
    QTest::addColumn<int>("target");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("nameAfter");
    QTest::newRow("found") << QList<int>{3, 5, 7} << 5 << true << "n2";
    QTest::newRow("missing keeps the cursor") << QList<int>{3, 5, 7} << 4 << false << "n3";
    QTest::newRow("twice: the last wins") << QList<int>{5, 6, 5, 8} << 5 << true << "n3";
    QTest::newRow("empty list") << QList<int>{} << 1 << false << "";
}

void tst_clsProject::gotoID()
{
    QFETCH(QList<int>, ids);
    QFETCH(int, target);
    QFETCH(bool, found);
    QFETCH(QString, nameAfter);
    clsProject p;
    for (int i = 0; i < ids.size(); ++i)
        p.Add(ids[i], QStringLiteral("n%1").arg(i + 1), QString());
    QCOMPARE(p.GotoID(target), found);
    QCOMPARE(p.Name(), nameAfter);
}

void tst_clsProject::writesAtTheCursor()
{
    clsProject p;
    p.Add(1, QStringLiteral("a"), QStringLiteral("x"));
    p.TotalTime(0.5);
    p.Add(2, QStringLiteral("b"), QStringLiteral("y"));
    QCOMPARE(p.TotalTime(), 0.0);
    p.Description(QStringLiteral("new"));
    p.Name(QStringLiteral("B"));
    p.ProjectID(9);
    p.MoveFirst();
    QCOMPARE(p.TotalTime(), 0.5);
    QCOMPARE(p.Name(), QStringLiteral("a"));
    QVERIFY(p.MoveNext());
    QCOMPARE(p.Description(), QStringLiteral("new"));
    QCOMPARE(p.Name(), QStringLiteral("B"));
    QCOMPARE(p.ProjectID(), 9);
    p.Reset();
    p.Add(3, QStringLiteral("c"), QString());
    QCOMPARE(p.TotalTime(), 0.0);
}

QTEST_GUILESS_MAIN(tst_clsProject)
#include "tst_clsProject.moc"
