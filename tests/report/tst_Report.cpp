#include "ManualClock.h"
#include "TestDb.h"

#include "platform/AppError.h"
#include "platform/Database.h"
#include "report/Report.h"

#include <QBuffer>
#include <QProcess>
#include <QtTest>

// The report's formats and groupings in process against golden texts, and the program itself
// for what only a process shows: its exit statuses and what it says on standard error.
class tst_Report : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempDatabase> plain_, odd_;

    // What the report writes for the arguments, then its warning as the program shows it.
    static QString Report(const QString& path, const ReportOptions& options)
    {
        Connection cn;
        OpenReportDatabase(cn, path);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        const QString warning = WriteReport(cn, options, out);
        return QString::fromUtf8(out.data()) + (warning.isEmpty() ? QString() : "tallyclock-report: " + warning + '\n');
    }

private slots:
    // The week of Monday 30 November 2026, "today" its Thursday; one period the week before, one
    // of ten days in October, one of no project, one that ends before it starts, across the
    // week's end.
    void initTestCase()
    {
        plain_ = std::make_unique<TempDatabase>();
        const qint64 alpha = plain_->insertProject(QStringLiteral("Alpha"));
        const qint64 zeta = plain_->insertProject(QStringLiteral("Zeta"));
        const qint64 beta = plain_->insertProject(QStringLiteral("beta \"B\", Ltd"));
        plain_->insertPeriod(alpha, At(2026, 11, 30, 9), At(2026, 11, 30, 10, 30));
        plain_->insertPeriod(alpha, At(2026, 12, 1, 23), At(2026, 12, 2, 1));
        plain_->insertPeriod(alpha, At(2026, 11, 20, 10), At(2026, 11, 20, 11));
        plain_->insertPeriod(beta, At(2026, 12, 3, 8), At(2026, 12, 3, 8, 45, 30));
        plain_->insertPeriod(zeta, At(2026, 12, 7, 0, 15), At(2026, 12, 6, 23, 45));
        plain_->insertPeriod(zeta, At(2026, 12, 2, 12), At(2026, 12, 2, 13));
        plain_->insertPeriod(zeta, At(2026, 10, 5, 12), At(2026, 10, 15, 6));
        plain_->insertPeriod(0, At(2026, 12, 1, 14), At(2026, 12, 1, 14, 20));
        // Names no table may show raw, a year typed 9026 for 2026, and moments that are no
        // dates, as another program could store them (with no NOT NULL).
        odd_ = std::make_unique<TempDatabase>();
        odd_->exec(QStringLiteral("DROP TABLE tblTimePeriod"));
        odd_->exec(QStringLiteral("CREATE TABLE tblTimePeriod (TimePeriodID INTEGER PRIMARY KEY, ProjectID INTEGER, "
                                  "StartTime REAL, EndTime REAL)"));
        odd_->exec(
            plain_->scalar(QStringLiteral("SELECT sql FROM sqlite_master WHERE name='%1'").arg(kSpanIndex)).toString());
        const qint64 esc = odd_->insertProject(QStringLiteral("Esc\x1b[31m red\tTab\nLine\u202e"));
        const qint64 sum = odd_->insertProject(QStringLiteral("=SUM(A1)"));
        const qint64 typo = odd_->insertProject(QStringLiteral("Typo"));
        odd_->insertPeriod(esc, At(2026, 12, 1, 9), At(2026, 12, 1, 10));
        odd_->insertPeriod(sum, At(2026, 12, 2, 10), At(2026, 12, 2, 11));
        odd_->insertPeriod(typo, At(2026, 12, 1, 9), At(9026, 12, 1, 9));
        for (const char* bad : {"9e999,46357", "1e300,46357", "46357,-9e999", "NULL,46357", "46357,-693593",
                                "1e15+0.5,1e15", "46357,'noon'"})
            odd_->exec(QStringLiteral("INSERT INTO tblTimePeriod(ProjectID,EndTime,StartTime) VALUES(3,%1)").arg(bad));
    }

    // Each file is a command line ("$ LC_ALL=de_DE COLUMNS=60 tallyclock-report --all", on the
    // odd database when it names odd.mdb) and what the program prints for it, the same with
    // the span index and without. TALLYCLOCK_GOLDEN=write writes what it prints instead.
    void golden_data()
    {
        QTest::addColumn<QString>("file");
        for (const QFileInfo& file : QDir(QStringLiteral(TALLYCLOCK_GOLDEN_DIR)).entryInfoList({"*.txt"}))
            QTest::newRow(qPrintable(file.baseName())) << file.filePath();
    }
    void golden()
    {
        QFETCH(QString, file);
        QFile golden(file);
        QVERIFY(golden.open(QIODevice::ReadOnly));
        const QString expected = QString::fromUtf8(golden.readAll());
        const QString command = expected.left(expected.indexOf('\n') + 1);
        QStringList words = QProcess::splitCommand(command.mid(2));
        QMap<QString, QString> env{{"LC_ALL", "en_US"}, {"COLUMNS", "100"}};
        for (; words.front().contains('='); words.removeFirst())
            env[words.front().section('=', 0, 0)] = words.front().section('=', 1);
        QLocale::setDefault(QLocale(env["LC_ALL"]));
        const ManualClock clock(QDateTime(QDate(2026, 12, 3), QTime(12, 0)));
        ReportRequest request = ReadReportCommandLine(words.mid(1));
        request.options.width = env["COLUMNS"].toInt();
        const TempDatabase& db = request.database.isEmpty() ? *plain_ : *odd_;
        const QString actual = command + Report(db.path(), request.options);
        golden.close();
        if (qgetenv("TALLYCLOCK_GOLDEN") == "write")
            QVERIFY(golden.open(QIODevice::WriteOnly) && golden.write(actual.toUtf8()) > 0);
        QCOMPARE(actual, expected);
        const QVariant index = db.scalar(
            QStringLiteral("SELECT sql FROM sqlite_master WHERE name='%1'").arg(kSpanIndex));
        db.exec(QStringLiteral("DROP INDEX %1").arg(kSpanIndex));
        const auto restore = qScopeGuard([&] { db.exec(index.toString()); });
        QCOMPARE(command + Report(db.path(), request.options), expected);
    }

    // The program as a shell runs it on the plain database ($DB), or on a copy in a folder whose
    // name holds a ';' ($SEMI): its exit status, its one line on standard error, and a piece of
    // what it prints.
    void runs_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QString>("out");
        // clang-format off
        const auto row = [](const char* tag, const char* command, int status, const char* err, const char* out = "") {
            QTest::newRow(tag) << QString::fromUtf8(command) << status << QString::fromUtf8(err) << QString::fromUtf8(out);
        };
        row("year 1", "--from 0001-01-01 --to 0001-01-03", 2, "\"0001-01-01\" given to --from is not a date (2026-12-01 or the regional date).");
        row("unknown project", "--project Gamma", 2, "There is no project named \"Gamma\".");
        row("missing database", "--database /nowhere/Tallyclock.mdb", 1, "The database file \"/nowhere/Tallyclock.mdb\" does not exist.");
        row("full disk", "--all >/dev/full", 1, "The report could not be written: No space left on device.");
        row("closed output", "--all >&-", 1, "Standard output is closed: there is nowhere to write the report.");
        row("path with ;", "--database \"$SEMI\" --all --format csv", 0, "", "\r\n1,Alpha,,,270\r\n");
        row("help", "--help", 0, "", "The database: --database, else $XDG/tallyclock/Tallyclock.mdb.");
        // clang-format on
    }
    void runs()
    {
        QFETCH(QString, command);
        QFETCH(int, status);
        QFETCH(QString, err);
        QFETCH(QString, out);
        QTemporaryDir dir;
        const QString semi = dir.filePath(QStringLiteral("a;b/Tallyclock.mdb"));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("a;b"))) && QFile::copy(plain_->path(), semi));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DB"), plain_->path());
        env.insert(QStringLiteral("SEMI"), semi);
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("/bin/sh"), {"-c", "exec \"$0\" --database \"$DB\" " + command, TALLYCLOCK_REPORT_EXE});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()), err.isEmpty() ? err : "tallyclock-report: " + err + '\n');
        QCOMPARE(p.exitCode(), status);
        QVERIFY(QString::fromUtf8(p.readAllStandardOutput()).contains(out.replace("$XDG", dir.path())));
    }

    // Reading leaves the file as it was: no change gets through, and a database in WAL mode
    // has no -wal or -shm file beside it afterwards.
    void leavesTheFileAsItWas()
    {
        TempDatabase db;
        db.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        {
            Connection cn;
            OpenReportDatabase(cn, db.path());
            QVERIFY_THROWS_EXCEPTION(AppError, cn.Execute(QStringLiteral("DELETE FROM tblTimePeriod")));
            QBuffer out;
            QVERIFY(out.open(QIODevice::WriteOnly));
            WriteReport(cn, ReportOptions(), out);
        }
        QVERIFY(!QFile::exists(db.path() + "-wal"));
        QVERIFY(!QFile::exists(db.path() + "-shm"));
    }
};

QTEST_GUILESS_MAIN(tst_Report)
#include "tst_Report.moc"
