#include "classes/clsINIParse.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <unistd.h>

// Shows the tables as text: "section|name=value" per variable in table order, then
// "number:text" per comment in the order recorded.
struct clsINIParseProbe {
    static QByteArray Dump(const clsINIParse& p, bool withComments = true)
    {
        std::string out;
        for (const auto& v : p.mVariables)
            out.append(p.mSections[v.section]).append("|").append(v.text, v.nameLength + 1 + v.valueLength).append("\n");
        for (const auto& c : p.mComments)
            out.append(withComments ? std::to_string(c.lineNumber) + ":" + std::string(c.text, c.length) + "\n" : "");
        return QByteArray(out.data(), qsizetype(out.size()));
    }
    static void Sort(clsINIParse& p) { p.SortVariables(); }
    static std::string Comment(const clsINIParse& p, int n) { return p.IsCommentLine(n) ? p.GetCommentLine(n) : "-"; }
};
using Probe = clsINIParseProbe;

static std::string S(const QByteArray& b) { return std::string(b.constData(), size_t(b.size())); }

class tst_clsINIParse : public QObject {
    Q_OBJECT
    QTemporaryDir mDir;

    QString Write(const QString& name, const QByteArray& bytes)
    {
        QFile f(mDir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write test file");
        return f.fileName();
    }
    static QByteArray Read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    static void Load(clsINIParse& ini, const QString& path)
    {
        ini.INIFileName(path.toStdString());
        ini.LoadINI();
    }

private slots:
    void initTestCase() { std::signal(SIGXFSZ, SIG_IGN); }  // a too-big write then fails with EFBIG

    void reading_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("model");
        QTest::newRow("every line break") << QByteArray("a=1\r\nb=2\rc=3\nd=4\r\r\ne=5\n\rf=6") << QByteArray("|a=1\n|b=2\n|c=3\n|d=4\n|e=5\n|f=6\n");
        QTest::newRow("empty lines not counted") << QByteArray("\r\n[S]\r\n\r\n\n\r#c\r\nx=1") << QByteArray("S|x=1\n2:#c\n");
        QTest::newRow("blank and ignored lines counted") << QByteArray("  \r\njunk\r\n'c\r\n[\r\n#d") << QByteArray("3:'c\n5:#d\n");
        QTest::newRow("blanks kept") << QByteArray("key = value") << QByteArray("|key = value\n");
        QTest::newRow("first = splits") << QByteArray("a=b=c\r\n=x\r\nname=") << QByteArray("|a=b=c\n|=x\n|name=\n");
        QTest::newRow("markers win") << QByteArray("[a=b]\r\nk=1\r\n#x=1\r\n'y=2") << QByteArray("a=b|k=1\n3:#x=1\n4:'y=2\n");
        QTest::newRow("raw first and last byte") << QByteArray("[M]\r\nk=1\r\n[O] \r\nj=2\r\n [S]=3\r\n #c=4") << QByteArray("M|k=1\nM|j=2\nM| [S]=3\nM| #c=4\n");
        QTest::newRow("empty header") << QByteArray("[S]\r\n[]\r\nk=1") << QByteArray("|k=1\n");
        QTest::newRow("lone brackets") << QByteArray("[\r\n[=x\r\n[]=]\r\nk=v\r\n]") << QByteArray("|[=x\n]=|k=v\n");
        QTest::newRow("duplicates kept") << QByteArray("[S]\r\nk=1\r\nk=2") << QByteArray("S|k=1\nS|k=2\n");
        QTest::newRow("bytes untouched") << QByteArray("\xef\xbb\xbfk\xff=\0v", 8) << QByteArray("|\xef\xbb\xbfk\xff=\0v\n", 10);
        QTest::newRow("empty file") << QByteArray() << QByteArray();
    }
    void reading()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, model);
        clsINIParse ini;
        Load(ini, Write("read.ini", file));
        QCOMPARE(Probe::Dump(ini), model);
    }

    void loadingAppendsOrNothing()
    {
        clsINIParse ini;
        Load(ini, Write("a.ini", "#a\r\nk=1"));
        Load(ini, Write("a.ini", "#b\r\nk=2"));
        Load(ini, mDir.filePath("missing.ini"));
        Load(ini, mDir.path());
        QCOMPARE(Probe::Dump(ini), QByteArray("|k=1\n|k=2\n1:#a\n1:#b\n"));
        QCOMPARE(ini.GetVariableValue("k"), "1");
        QCOMPARE(Probe::Comment(ini, 1), "#b");
        QCOMPARE(Probe::Comment(ini, 2), "-");
        try {  // a regular file whose reading fails
            Load(ini, "/proc/self/mem");
            QFAIL("no error");
        } catch (const INIFileError& e) {
            QCOMPARE(e.FileName(), "/proc/self/mem");
        }
    }

    void lookupsAndChanges_data()
    {
        QTest::addColumn<QByteArray>("section");  // "*": any section
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("found");
        QTest::newRow("first in table") << QByteArray("*") << QByteArray("k") << QByteArray("top") << true;
        QTest::newRow("first across sections") << QByteArray("*") << QByteArray("Port") << QByteArray("1") << true;
        QTest::newRow("case") << QByteArray("*") << QByteArray("port") << QByteArray() << false;
        QTest::newRow("no trim") << QByteArray("*") << QByteArray("key") << QByteArray() << false;
        QTest::newRow("blank in name") << QByteArray("*") << QByteArray("key ") << QByteArray("blank") << true;
        QTest::newRow("empty value") << QByteArray("*") << QByteArray("e") << QByteArray() << true;
        QTest::newRow("section") << QByteArray("Main") << QByteArray("k") << QByteArray("main") << true;
        QTest::newRow("section case") << QByteArray("MAIN") << QByteArray("k") << QByteArray() << false;
        QTest::newRow("later section") << QByteArray("B") << QByteArray("Port") << QByteArray("2") << true;
        QTest::newRow("sectionless") << QByteArray("") << QByteArray("k") << QByteArray("top") << true;
        QTest::newRow("not sectionless") << QByteArray("") << QByteArray("Port") << QByteArray() << false;
        QTest::newRow("no such section") << QByteArray("X") << QByteArray("k") << QByteArray() << false;
    }
    void lookupsAndChanges()
    {
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);
        QFETCH(bool, found);
        clsINIParse ini;
        Load(ini, Write("l.ini", "k=top\r\n[Main]\r\nPort=1\r\nk=main\r\nkey =blank\r\ne=\r\n[B]\r\nk=b\r\nPort=2\r\nPort=3"));
        const QByteArray before = Probe::Dump(ini);
        const bool any = section == "*";
        const auto get = [&] { return any ? ini.GetVariableValue(S(name)) : ini.GetSectionVariableValue(S(section), S(name)); };
        QCOMPARE(get(), S(value));
        QCOMPARE(any ? ini.ChangeVariable(S(name), "a longer new value") : ini.ChangeSectionVariable(S(section), S(name), "a longer new value"), found);
        QCOMPARE(get(), found ? "a longer new value" : S(value));
        QCOMPARE(Probe::Dump(ini).count("a longer new value"), found ? 1 : 0);  // only the first match changes
        QCOMPARE(Probe::Dump(ini).count('\n'), before.count('\n'));  // nothing is ever created
    }

    void insertionAndDeletion()
    {
        clsINIParse ini;
        Load(ini, Write("p.ini", "d=1\r\nd=2\r\n[S]\r\nv1=1\r\nv2=2\r\nv3=3\r\nv4=4\r\nv5=5"));
        QVERIFY(ini.DeleteSectionVariable("S", "v2"));
        QVERIFY(ini.DeleteVariable("d"));
        QVERIFY(!ini.DeleteVariable("v1") && !ini.DeleteSectionVariable("S", "nope") && !ini.DeleteSectionVariable("T", "v1"));
        QVERIFY(!ini.AddSectionVariable("S", "v1", "x"));
        QVERIFY(ini.AddVariable("v1", "top") && ini.AddSectionVariable("New", "n", "1"));
        QCOMPARE(Probe::Dump(ini), QByteArray("S|v4=4\n|d=2\nS|v1=1\nS|v5=5\nS|v3=3\n|v1=top\nNew|n=1\n"));
        QCOMPARE(ini.GetVariableValue("v1"), "1");
        QCOMPARE(ini.GetSectionVariableValue("", "v1"), "top");
        ini.SaveINI();  // the sorted order stays and decides later lookups
        QCOMPARE(ini.GetVariableValue("v1"), "top");
        QCOMPARE(Read(mDir.filePath("p.ini")), QByteArray("d=2\r\nv1=top\r\n\r\n[New]\r\nn=1\r\n\r\n[S]\r\nv1=1\r\nv3=3\r\nv4=4\r\nv5=5\r\n"));
        for (const char* name : {"v1", "v3", "v4", "v5"})
            QVERIFY(ini.DeleteSectionVariable("S", name));
        QVERIFY(ini.DeleteVariable("d") && ini.DeleteVariable("v1") && ini.DeleteSectionVariable("New", "n"));
        ini.SaveINI();
        QCOMPARE(Read(mDir.filePath("p.ini")), QByteArray());
    }

    void saving_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("saved");
        const QByteArray example("#top\r\na=1\r\n\r\n[Alpha]\r\nk=v\r\n'note\r\n\r\n[Zeta]\r\nx=9\r\n");
        QTest::newRow("worked example") << QByteArray("#top\r\na=1\r\n[Zeta]\r\nx=9\r\n\r\n[Alpha]\r\n'note\r\nk=v\r\n") << example;
        QTest::newRow("comments move on a second save") << example << QByteArray("#top\r\na=1\r\n\r\n[Alpha]\r\n'note\r\nk=v\r\n\r\n[Zeta]\r\nx=9\r\n");
        QTest::newRow("byte order") << QByteArray("[alpha]\r\na=1\r\n[Zeta]\r\nz=1\r\n[]\r\nb=2\r\nB=3") << QByteArray("B=3\r\nb=2\r\n\r\n[Zeta]\r\nz=1\r\n\r\n[alpha]\r\na=1\r\n");
        QTest::newRow("no sectionless") << QByteArray("#1\r\n#2\r\n[S]\r\nk=v") << QByteArray("#1\r\n#2\r\n\r\n[S]\r\nk=v\r\n");
        QTest::newRow("dropped lines") << QByteArray("[Empty]\r\n[S]\r\njunk\r\n\r\nk=v\r\n") << QByteArray("\r\n[S]\r\nk=v\r\n");
        QTest::newRow("trailing comments kept") << QByteArray("k=v\r\n#a\r\nj\r\n#b\r\n#c") << QByteArray("k=v\r\n#a\r\n#b\r\n#c\r\n");
        QTest::newRow("only comments") << QByteArray("#a\r\n'b\n") << QByteArray("#a\r\n'b\r\n");
        QTest::newRow("trailing comment pushed up") << QByteArray("[S]\r\nk=v\r\n#c") << QByteArray("\r\n[S]\r\n#c\r\nk=v\r\n");
    }
    void saving()  // through a symbolic link, which must survive, as must the file's mode
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, saved);
        QDir dir(mDir.filePath(QTest::currentDataTag()));
        QVERIFY(dir.mkpath("."));
        QFile real(dir.filePath("real.ini"));
        QVERIFY(real.open(QIODevice::WriteOnly) && real.write(file) == file.size());
        real.close();
        QVERIFY(real.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QVERIFY(QFile::link("real.ini", dir.filePath("link.ini")));
        clsINIParse ini;
        Load(ini, dir.filePath("link.ini"));
        ini.SaveINI();
        QCOMPARE(Read(real.fileName()), saved);
        QCOMPARE(QFile::symLinkTarget(dir.filePath("link.ini")), real.fileName());
        using std::filesystem::perms;
        QCOMPARE(std::filesystem::status(S(real.fileName().toUtf8())).permissions(), perms::owner_read | perms::owner_write | perms::group_read);
        QCOMPARE(dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList({"link.ini", "real.ini"}));
    }

    void saveFailureKeepsOldFile_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("target is a folder") << "old.ini";
        QTest::newRow("folder missing") << "missing/x.ini";
        QTest::newRow("parent is a file") << "old.ini/x.ini";
        QTest::newRow("no name") << "";
        QTest::newRow("disk full half-way") << "old.ini";
        QTest::newRow("read-only file") << "old.ini";
        QTest::newRow("read-only folder") << "old.ini";
    }
    void saveFailureKeepsOldFile()
    {
        QFETCH(QString, target);
        const QString tag = QTest::currentDataTag();
        if (tag.startsWith("read-only") && ::geteuid() == 0)
            QSKIP("permissions do not bind root");
        QDir dir(mDir.filePath(tag));
        QVERIFY(dir.mkpath(tag == "target is a folder" ? "old.ini" : "."));
        if (tag != "target is a folder")
            Write(tag + "/old.ini", "old=1\r\n");
        clsINIParse ini;
        for (int i = 0; i < 100; ++i)
            ini.AddVariable("key" + std::to_string(i), "value");
        if (tag.startsWith("read-only"))
            QFile::setPermissions(dir.filePath(tag == "read-only file" ? "old.ini" : "."), QFile::ReadOwner | QFile::ExeOwner);
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY}, small{64, RLIM_INFINITY};
        if (tag.startsWith("disk full"))
            ::setrlimit(RLIMIT_FSIZE, &small);
        const QStringList before = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        const std::string path = target.isEmpty() ? std::string() : dir.filePath(target).toStdString();
        ini.INIFileName(path);
        bool thrown = false;
        try {
            ini.SaveINI();
        } catch (const INIFileError& e) {
            thrown = e.FileName() == path;
        }
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(thrown);
        QCOMPARE(dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);  // no temporary file left
        if (tag != "target is a folder")
            QCOMPARE(Read(dir.filePath("old.ini")), QByteArray("old=1\r\n"));
    }

    void refusedNames_data()
    {
        QTest::addColumn<QByteArray>("section");  // "*": ChangeVariable or AddVariable
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("change");
        QTest::addColumn<bool>("accepted");
        for (const auto& [tag, name] : {std::pair{"=", "a=b"}, {"CR", "a\rb"}, {"LF", "a\nb"}, {"#", "#x"}, {"'", "'x"}})
            QTest::newRow(tag) << QByteArray("*") << QByteArray(name) << QByteArray("1") << false << false;
        QTest::newRow("reads as header") << QByteArray("*") << QByteArray("[x") << QByteArray("y]") << false << false;
        QTest::newRow("break in section") << QByteArray("S\nT") << QByteArray("x") << QByteArray("1") << false << false;
        QTest::newRow("break in value") << QByteArray("S") << QByteArray("x") << QByteArray("1\r") << false << false;
        QTest::newRow("loaded name, header value") << QByteArray("*") << QByteArray("[a") << QByteArray("c]") << true << false;
        QTest::newRow("break in new value") << QByteArray("S") << QByteArray("j") << QByteArray("\n") << true << false;
        QTest::newRow("loaded name") << QByteArray("*") << QByteArray("[a") << QByteArray("c") << true << true;
        QTest::newRow("marker later") << QByteArray("*") << QByteArray("x#") << QByteArray("]") << false << true;
        QTest::newRow("bracket, other value") << QByteArray("*") << QByteArray("[x") << QByteArray("y] ") << false << true;
        QTest::newRow("blank then marker") << QByteArray("*") << QByteArray(" #x") << QByteArray("[y]") << false << true;
        QTest::newRow("empty name") << QByteArray("*") << QByteArray("") << QByteArray("]") << false << true;
        QTest::newRow("odd section") << QByteArray("a=b]") << QByteArray("[n") << QByteArray("v") << false << true;
    }
    void refusedNames()
    {
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);
        QFETCH(bool, change);
        QFETCH(bool, accepted);
        clsINIParse ini;
        Load(ini, Write("r.ini", "[a=b] \r\nk=v\r\n[S]\r\nj=1"));
        const QByteArray before = Probe::Dump(ini);
        const bool any = section == "*";
        const bool done = change ? (any ? ini.ChangeVariable(S(name), S(value)) : ini.ChangeSectionVariable(S(section), S(name), S(value)))
                                 : (any ? ini.AddVariable(S(name), S(value)) : ini.AddSectionVariable(S(section), S(name), S(value)));
        QCOMPARE(done, accepted);
        if (!accepted)
            QCOMPARE(Probe::Dump(ini), before);
        ini.SaveINI();
        clsINIParse back;
        Load(back, mDir.filePath("r.ini"));
        QCOMPARE(Probe::Dump(back, false), Probe::Dump(ini, false));
    }

    void sortEqualsBubbleSort()
    {
        QRandomGenerator random(7);
        const char* sections[] = {"", "A", "a", "B", "AB", "\xff"};
        const char* names[] = {"", "k", "K", "k2", "\x80"};
        for (int round = 0; round < 100; ++round) {  // sections long enough for a real merge sort
            std::vector<std::array<std::string, 3>> rows(random.bounded(300));
            QByteArray file;
            for (size_t i = 0; i < rows.size(); ++i) {
                rows[i] = {sections[random.bounded(6)], names[random.bounded(5)], std::to_string(i)};
                file += "[" + QByteArray(rows[i][0].c_str()) + "]\r\n" + rows[i][1].c_str() + "=" + rows[i][2].c_str() + "\r\n";
            }
            for (size_t i = 1; i < rows.size(); ++i)  // the plain bubble sort, every pass to its end
                for (size_t j = 0; j + i < rows.size(); ++j)
                    if (rows[j][0] > rows[j + 1][0] || (rows[j][0] == rows[j + 1][0] && rows[j][1] > rows[j + 1][1]))
                        std::swap(rows[j], rows[j + 1]);
            QByteArray expected;
            for (const auto& r : rows)
                expected += QByteArray(r[0].c_str()) + "|" + r[1].c_str() + "=" + r[2].c_str() + "\n";
            clsINIParse ini;
            Load(ini, Write("sort.ini", file));
            Probe::Sort(ini);
            QCOMPARE(Probe::Dump(ini), expected);
        }
    }

    // Any model of writable names, saved and loaded into a new object, gives the same
    // variables in the same order; tricky bytes come from loaded lines and from additions.
    void roundTrip()
    {
        QRandomGenerator random(11);
        const QByteArray alphabet("ab=[]#' \r\n\t\xff");
        const auto text = [&](int most) {
            QByteArray t;
            for (int n = random.bounded(most); n > 0; --n)
                t += alphabet[random.bounded(int(alphabet.size()))];
            return t;
        };
        for (int round = 0; round < 200; ++round) {
            clsINIParse ini;
            Load(ini, Write("rt.ini", text(60)));
            for (int i = 0; i < 5; ++i)
                ini.AddSectionVariable(S(text(4)), S(text(4)), S(text(4)));
            ini.ChangeVariable(S(text(3)), S(text(6)));
            ini.SaveINI();
            clsINIParse back;
            Load(back, mDir.filePath("rt.ini"));
            QCOMPARE(Probe::Dump(back, false), Probe::Dump(ini, false));
        }
    }
};

QTEST_GUILESS_MAIN(tst_clsINIParse)
#include "tst_clsINIParse.moc"
