#include "classes/clsProject.h"
#include "platform/AppError.h"

#include <QtTest>

class tst_clsProject : public QObject
{
    Q_OBJECT

private slots:
    void cursorCases_data();
    void cursorCases();
    void gotoID();
};

// Operations, one letter each: F MoveFirst, N MoveNext, R Reset, A Add (IDs 10, 20, …).
void tst_clsProject::cursorCases_data()
{
    QTest::addColumn<QString>("ops");
    QTest::addColumn<QString>("moves"); // results of the Move calls
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("id"); // at the cursor; -1: outside the list
    QTest::newRow("new list") << ""
                              << "" << 0 << -1;
    QTest::newRow("MoveFirst on empty list is true") << "FN"
                                                     << "tf" << 0 << -1;
    QTest::newRow("after Add the cursor is on it") << "AA"
                                                   << "" << 2 << 20;
    QTest::newRow("three: true twice, then false") << "AAAFNNN"
                                                   << "tttf" << 3 << 30;
    QTest::newRow("Reset empties") << "AARF"
                                   << "t" << 0 << -1;
}

void tst_clsProject::cursorCases()
{
    QFETCH(QString, ops);
    QFETCH(QString, moves);
    QFETCH(int, count);
    QFETCH(int, id);
    clsProject p;
    QString results;
    int next = 10;
    for (QChar op : ops) {
        if (op == 'F')
            results += p.MoveFirst() ? 't' : 'f';
        else if (op == 'N')
            results += p.MoveNext() ? 't' : 'f';
        else if (op == 'R')
            p.Reset();
        else {
            p.Add(next, QStringLiteral("P%1").arg(next), QStringLiteral("D%1").arg(next));
            next += 10;
        }
    }
    QCOMPARE(results, moves);
    QCOMPARE(p.Count(), count);
    if (id < 0) {
        QCOMPARE(p.Name() + p.Description(), QString());
        QVERIFY_THROWS_EXCEPTION(AppError, p.ProjectID());
        QVERIFY_THROWS_EXCEPTION(AppError, p.TotalTime());
        // Writes outside the list do nothing and raise nothing.
        p.Name(QStringLiteral("x"));
        p.TotalTime(1.5);
        QCOMPARE(p.Name(), QString());
        return;
    }
    QCOMPARE(p.ProjectID(), id);
    QCOMPARE(p.Name(), QStringLiteral("P%1").arg(id));
    QCOMPARE(p.TotalTime(), 0.0);
    p.TotalTime(0.5);
    p.Description(QStringLiteral("new"));
    QCOMPARE(p.TotalTime(), 0.5);
    QCOMPARE(p.Description(), QStringLiteral("new"));
}

void tst_clsProject::gotoID()
{
    clsProject p;
    for (int id : {5, 6, 5, 8})
        p.Add(id, QStringLiteral("n%1").arg(p.Count() + 1), QString());
    QVERIFY(p.GotoID(5));
    QCOMPARE(p.Name(), QStringLiteral("n3")); // the last of two wins
    QVERIFY(!p.GotoID(4));
    QCOMPARE(p.Name(), QStringLiteral("n3")); // a miss keeps the cursor
}

QTEST_GUILESS_MAIN(tst_clsProject)
#include "tst_clsProject.moc"
