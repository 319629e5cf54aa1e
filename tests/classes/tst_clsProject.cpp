#include "classes/clsProject.h"
#include "platform/AppError.h"

#include <QtTest>

class tst_clsProject : public QObject
{
    Q_OBJECT

private slots:
    // An added project is current; the cursor stays on the last. Emptied, the list still says
    // true to MoveFirst; IDs and times raise an error, texts read empty and writes change nothing.
    void walkAndReset()
    {
        clsProject p;
        for (int id : {10, 20, 30}) {
            p.Add(id, QString(), QString());
            QCOMPARE(p.ProjectID(), id);
        }
        QVERIFY(p.MoveFirst());
        QVERIFY(p.MoveNext());
        QVERIFY(p.MoveNext());
        QVERIFY(!p.MoveNext());
        QCOMPARE(p.ProjectID(), 30);
        p.Reset();
        QCOMPARE(p.Count(), 0);
        QVERIFY(p.MoveFirst());
        QVERIFY(!p.MoveNext());
        QVERIFY_THROWS_EXCEPTION(AppError, p.ProjectID());
        QVERIFY_THROWS_EXCEPTION(AppError, p.TotalTime());
        p.Name(QStringLiteral("x"));
        p.TotalTime(1.5);
        QCOMPARE(p.Name() + p.Description(), QString());
    }

    void gotoID()
    {
        clsProject p;
        for (int id : {5, 6, 5, 8})
            p.Add(id, QStringLiteral("n%1").arg(p.Count() + 1), QString());
        QVERIFY(p.GotoID(5));
        QCOMPARE(p.Name(), QStringLiteral("n3")); // the last of two wins
        QVERIFY(!p.GotoID(4));
        QCOMPARE(p.Name(), QStringLiteral("n3")); // a miss keeps the cursor
    }
};

QTEST_GUILESS_MAIN(tst_clsProject)
#include "tst_clsProject.moc"
