#include "classes/clsINIParse.h"

#include <QtTest>

#include <csignal>
#include <filesystem>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// Shows the tables as text: "section|name=value" per variable in table order, then
// "number:text" per comment in the order recorded.
struct clsINIParseProbe
{
    static QByteArray Dump(const clsINIParse& p, bool withComments = true)
    {
        QByteArray out;
        for (const auto& v : p.mVariables)
            out += QByteArray::fromStdString(std::string(p.mSections[v.section])) + "|"
                + QByteArray(v.text, v.nameLength + 1 + v.valueLength) + "\n";
        for (const auto& c : p.mComments)
            out += withComments
                ? QByteArray::number(c.lineNumber) + ":" + QByteArray(c.text, qsizetype(c.length)) + "\n"
                : "";
        return out;
    }
};
using Probe = clsINIParseProbe;

static std::string S(const QByteArray& b)
{
    return b.toStdString();
}
static std::string S(const QString& path)
{
    return path.toStdString();
}

// While alive, files are reached as the saver: user nobody when the tests run as root, for whom
// no permission binds; otherwise the tester. The saver owns the test files.
struct Saver
{
    static inline uid_t uid = ::geteuid();
    static inline gid_t gid = ::getegid();
    static bool Own(const QString& path) { return ::lchown(S(path).c_str(), uid, gid) == 0; }
    Saver()
    {
        if (::setegid(gid) != 0 || ::seteuid(uid) != 0)
            qFatal("cannot become the saver");
    }
    ~Saver()
    {
        if (::seteuid(::getuid()) != 0 || ::setegid(::getgid()) != 0)
            qFatal("cannot become the tester again");
    }
};
template <class T>
static void Columns(std::initializer_list<const char*> names)
{
    for (const char* name : names)
        QTest::addColumn<T>(name);
}

class tst_clsINIParse : public QObject
{
    Q_OBJECT
    QTemporaryDir mDir;

    // Writes a file below mDir, making its folder, and returns its path.
    QString Write(const QString& name, const QByteArray& bytes)
    {
        QFile f(mDir.filePath(name));
        if (!QDir().mkpath(QFileInfo(f).path()) || !f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
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
    void initTestCase()
    {
        std::signal(SIGXFSZ, SIG_IGN); // a too-big write then fails with EFBIG
        if (const passwd* nobody = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr) {
            Saver::uid = nobody->pw_uid;
            Saver::gid = nobody->pw_gid;
        }
        QVERIFY(::chmod(S(mDir.path()).c_str(), 0755) == 0);
    }

    void reading_data()
    {
        Columns<QByteArray>({"file", "model"});
        QTest::newRow("every line break")
            << QByteArray("a=1\r\nb=2\rc=3\nd=4\r\r\ne=5\n\rf=6") << QByteArray("|a=1\n|b=2\n|c=3\n|d=4\n|e=5\n|f=6\n");
        QTest::newRow("numbers skip only empty lines")
            << QByteArray("\r\n  \r\n\r\n\n\rjunk\r\n'c\r\n[\r\n[S]\r\n#d\r\nx=1") << QByteArray("S|x=1\n3:'c\n6:#d\n");
        QTest::newRow("first = splits") << QByteArray("a=b=c\r\n=x\r\nname=") << QByteArray("|a=b=c\n|=x\n|name=\n");
        QTest::newRow("markers win") << QByteArray("[a=b]\r\nk=1\r\n#x=1\r\n'y=2")
                                     << QByteArray("a=b|k=1\n3:#x=1\n4:'y=2\n");
        QTest::newRow("raw first and last byte") << QByteArray("[M]\r\nk=1\r\n[O] \r\nj=2\r\n [S]=3\r\n #c=4")
                                                 << QByteArray("M|k=1\nM|j=2\nM| [S]=3\nM| #c=4\n");
        QTest::newRow("headers are [ to ]")
            << QByteArray("[S]\r\n[]\r\nk=1\r\n[\r\n[=x\r\n[]=]\r\nk=v\r\n]") << QByteArray("|k=1\n|[=x\n]=|k=v\n");
        QTest::newRow("bytes untouched") << QByteArray("\xef\xbb\xbfk\xff=\0v", 8)
                                         << QByteArray("|\xef\xbb\xbfk\xff=\0v\n", 10);
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

    void lookupsAndChanges_data() // section "*": the calls without a section; a null value: not found
    {
        Columns<QByteArray>({"section", "name", "value"});
        QTest::newRow("first across sections") << QByteArray("*") << QByteArray("Port") << QByteArray("1");
        QTest::newRow("case") << QByteArray("*") << QByteArray("port") << QByteArray();
        QTest::newRow("no trim") << QByteArray("*") << QByteArray("key") << QByteArray();
        QTest::newRow("blanks kept, first = splits") << QByteArray("*") << QByteArray("key ") << QByteArray(" a=b");
        QTest::newRow("empty value") << QByteArray("*") << QByteArray("e") << QByteArray("");
        QTest::newRow("first in section") << QByteArray("B") << QByteArray("Port") << QByteArray("2");
        QTest::newRow("section case") << QByteArray("MAIN") << QByteArray("k") << QByteArray();
        QTest::newRow("sectionless") << QByteArray("") << QByteArray("k") << QByteArray("top");
        QTest::newRow("not sectionless") << QByteArray("") << QByteArray("Port") << QByteArray();
        QTest::newRow("no such section") << QByteArray("X") << QByteArray("k") << QByteArray();
    }
    void lookupsAndChanges()
    {
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);
        clsINIParse ini;
        Load(
            ini,
            Write("l.ini", "k=top\r\n[Main]\r\nPort=1\r\nk=main\r\nkey = a=b\r\ne=\r\n[B]\r\nk=b\r\nPort=2\r\nPort=3"));
        const QByteArray before = Probe::Dump(ini), changed = "a longer new value";
        const bool any = section == "*";
        QCOMPARE(any ? ini.GetVariableValue(S(name)) : ini.GetSectionVariableValue(S(section), S(name)), S(value));
        QCOMPARE(any ? ini.ChangeVariable(S(name), S(changed))
                     : ini.ChangeSectionVariable(S(section), S(name), S(changed)),
                 !value.isNull());
        QCOMPARE(Probe::Dump(ini).replace(changed, value), before); // only the first match changes; nothing is created
    }

    // Loading again appends; deleting moves the last variable into the gap, adding appends,
    // saving sorts; of the comments sharing a number, the one loaded last is saved.
    void editing()
    {
        clsINIParse ini;
        for (const QString& path : {mDir.filePath("missing.ini"), mDir.path(), Write("a.ini", "#a\r\nd=1\r\nd=2"),
                                    Write("p.ini", "#b\r\n[S]\r\nv1=1\r\nv2=2\r\nv3=3\r\nv4=4\r\nv5=5")})
            Load(ini, path);
        QVERIFY(!ini.AddSectionVariable("S", "v1", "x") && !ini.DeleteVariable("v1")
                && !ini.DeleteSectionVariable("S", "nope") && !ini.DeleteSectionVariable("T", "v1"));
        QVERIFY(ini.DeleteSectionVariable("S", "v2") && ini.AddVariable("v1", "top")
                && ini.AddSectionVariable("New", "n", "1") && ini.DeleteVariable("d"));
        QCOMPARE(Probe::Dump(ini), QByteArray("New|n=1\n|d=2\nS|v1=1\nS|v5=5\nS|v3=3\nS|v4=4\n|v1=top\n1:#a\n1:#b\n"));
        QCOMPARE(ini.GetVariableValue("v1"), "1");
        ini.SaveINI(); // the sorted order stays and decides later lookups
        QCOMPARE(ini.GetVariableValue("v1"), "top");
        QCOMPARE(Read(mDir.filePath("p.ini")),
                 QByteArray("#b\r\nd=2\r\nv1=top\r\n\r\n[New]\r\nn=1\r\n\r\n[S]\r\nv1=1\r\nv3=3\r\nv4=4\r\nv5=5\r\n"));
        QVERIFY_THROWS_EXCEPTION(INIFileError, Load(ini, "/proc/self/mem")); // a regular file whose reading fails
    }

    // Saves to "target" beside real.ini, a symbolic link to it, a folder, two hard links of one
    // file, a dangling link and a device node, as their owner nobody when run as root, so that
    // permissions bind. Links and the device stay what they were, real.ini keeps its mode and
    // no temporary file is left. A failed save (a null "saved") throws, naming the file, and
    // leaves real.ini as it was.
    void saving_data()
    {
        Columns<QByteArray>({"file", "saved"});
        QTest::addColumn<QString>("target");
        Columns<int>({"mode", "folderMode"});
        QTest::newRow("worked example") << QByteArray("#top\r\na=1\r\n[Zeta]\r\nx=9\r\n\r\n[Alpha]\r\n'note\r\nk=v\r\n")
                                        << QByteArray(
                                               "#top\r\na=1\r\n\r\n[Alpha]\r\nk=v\r\n'note\r\n\r\n[Zeta]\r\nx=9\r\n")
                                        << "link.ini" << 0640 << 0755;
        QTest::newRow("byte order") << QByteArray("[alpha]\r\na=1\r\n[Zeta]\r\nz=1\r\n[]\r\nb=2\r\nB=3")
                                    << QByteArray("B=3\r\nb=2\r\n\r\n[Zeta]\r\nz=1\r\n\r\n[alpha]\r\na=1\r\n")
                                    << "link.ini" << 0640 << 0755;
        QTest::newRow("comment moves above header")
            << QByteArray("[S]\r\n#c\r\nk=v") << QByteArray("\r\n#c\r\n[S]\r\nk=v\r\n") << "link.ini" << 0640 << 0755;
        QTest::newRow("dropped lines") << QByteArray("[Empty]\r\n[S]\r\njunk\r\n\r\nk=v\r\n")
                                       << QByteArray("\r\n[S]\r\nk=v\r\n") << "link.ini" << 0640 << 0755;
        QTest::newRow("trailing comments kept")
            << QByteArray("k=v\r\n#a\r\nj\r\n#b\r\n#c") << QByteArray("k=v\r\n#a\r\n#b\r\n#c\r\n") << "link.ini" << 0640
            << 0755;
        QTest::newRow("new file") << QByteArray("k=v") << QByteArray("k=v\r\n") << "new.ini" << 0640 << 0755;
        QTest::newRow("hard link") << QByteArray("k=v") << QByteArray("k=v\r\n") << "hard.ini" << 0640 << 0755;
        QTest::newRow("dangling link") << QByteArray("k=v") << QByteArray("k=v\r\n") << "dangling.ini" << 0640 << 0755;
        QTest::newRow("device") << QByteArray("k=v") << QByteArray("") << "null" << 0640 << 0755; // reads back empty
        QTest::newRow("folder not writable")
            << QByteArray("k=v") << QByteArray("k=v\r\n") << "link.ini" << 0640 << 0555;
        QTest::newRow("sticky folder, file of another")
            << QByteArray("k=v") << QByteArray("k=v\r\n") << "real.ini" << 0666 << 01777;
        QTest::newRow("target is a folder") << QByteArray("k=v") << QByteArray() << "folder" << 0640 << 0755;
        QTest::newRow("folder missing") << QByteArray("k=v") << QByteArray() << "missing/x.ini" << 0640 << 0755;
        QTest::newRow("no name") << QByteArray("k=v") << QByteArray() << "" << 0640 << 0755;
        QTest::newRow("disk full half-way")
            << "k=" + QByteArray(100, 'v') << QByteArray() << "link.ini" << 0640 << 0755;
        QTest::newRow("read-only file") << QByteArray("k=v") << QByteArray() << "link.ini" << 0400 << 0755;
    }
    void saving()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, saved);
        QFETCH(QString, target);
        QFETCH(int, mode);
        QFETCH(int, folderMode);
        const QString tag = QTest::currentDataTag(), dir = mDir.filePath(tag), real = Write(tag + "/real.ini", file),
                      hard = Write(tag + "/hard.ini", file);
        const bool made = ::mknod(S(dir + "/null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0,
                   sticky = folderMode & S_ISVTX;
        if ((target == "null" && !made) || (sticky && Saver::uid == ::getuid()))
            QSKIP("needs root: a device node, a file of another owner");
        QVERIFY(QFile::link("real.ini", dir + "/link.ini") && QFile::link("made.ini", dir + "/dangling.ini")
                && QDir(dir).mkpath("folder"));
        QVERIFY(::link(S(hard).c_str(), S(dir + "/twin.ini").c_str()) == 0);
        clsINIParse ini;
        Load(ini, dir + "/link.ini");
        for (const QString& name :
             QStringList{"."} + QDir(dir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
            QVERIFY(sticky || Saver::Own(dir + "/" + name)); // in the sticky folder, nothing is the saver's
        QVERIFY(::chmod(S(real).c_str(), mode_t(mode)) == 0 && ::chmod(S(dir).c_str(), mode_t(folderMode)) == 0);
        ini.INIFileName(target.isEmpty() ? std::string() : (dir + "/" + target).toStdString());
        const rlimit limit{tag == "disk full half-way" ? 64 : RLIM_INFINITY, RLIM_INFINITY},
            unlimited{RLIM_INFINITY, RLIM_INFINITY};
        bool thrown = false;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            Saver saver;
            ini.SaveINI();
        } catch (const INIFileError& e) {
            thrown = e.FileName() == ini.INIFileName();
        }
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        QVERIFY(::chmod(S(dir).c_str(), 0755) == 0); // lets the temporary folder go
        QCOMPARE(thrown, saved.isNull());
        QCOMPARE(Read(saved.isNull() ? real : dir + "/" + target), saved.isNull() ? file : saved);
        QCOMPARE(QFile::symLinkTarget(dir + "/link.ini"), real);
        QCOMPARE(QFile::symLinkTarget(dir + "/dangling.ini"), dir + "/made.ini");
        QCOMPARE(Read(dir + "/twin.ini"), Read(hard));
        QVERIFY(!made || std::filesystem::is_character_file(S(dir + "/null")));
        QCOMPARE(std::filesystem::status(S(real)).permissions(), std::filesystem::perms(mode));
        QCOMPARE(QDir(dir).entryList({".*"}, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

    void refusedNames_data() // section "*": the calls without a section
    {
        Columns<QByteArray>({"section", "name", "value"});
        QTest::addColumn<bool>("accepted");
        for (const auto& [tag, name] :
             {std::pair{"=", "a=b"}, {"CR", "a\rb"}, {"LF", "a\nb"}, {"#", "#x"}, {"'", "'x"}})
            QTest::newRow(tag) << QByteArray("*") << QByteArray(name) << QByteArray("1") << false;
        QTest::newRow("reads as header") << QByteArray("*") << QByteArray("[x") << QByteArray("y]") << false;
        QTest::newRow("break in section") << QByteArray("S\nT") << QByteArray("x") << QByteArray("1") << false;
        QTest::newRow("break in value") << QByteArray("S") << QByteArray("x") << QByteArray("1\r") << false;
        QTest::newRow("loaded name, header value") << QByteArray("*") << QByteArray("[a") << QByteArray("c]") << false;
        QTest::newRow("break in new value") << QByteArray("S") << QByteArray("j") << QByteArray("\n") << false;
        QTest::newRow("loaded name") << QByteArray("*") << QByteArray("[a") << QByteArray("c") << true;
        QTest::newRow("bracket, other value") << QByteArray("*") << QByteArray("[x") << QByteArray("y] ") << true;
        QTest::newRow("marker not first") << QByteArray("*") << QByteArray(" #x#") << QByteArray("[y]") << true;
        QTest::newRow("odd but writable") << QByteArray("a=b]") << QByteArray("") << QByteArray("]") << true;
    }
    void refusedNames() // adds the variable, or changes it where the name is loaded already
    {
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);
        QFETCH(bool, accepted);
        clsINIParse ini;
        Load(ini, Write("r.ini", "[a=b] \r\nk=v\r\n[S]\r\nj=1"));
        const QByteArray before = Probe::Dump(ini);
        const bool done = section == "*" ? ini.AddVariable(S(name), S(value)) || ini.ChangeVariable(S(name), S(value))
                                         : ini.AddSectionVariable(S(section), S(name), S(value))
                || ini.ChangeSectionVariable(S(section), S(name), S(value));
        QCOMPARE(done, accepted);
        QVERIFY(accepted || Probe::Dump(ini) == before);
    }

    // On random models, saving sorts the variables exactly as a plain bubble sort would, and
    // the saved file loaded into a new object gives the same variables in the same order.
    // Sections are long enough for a real merge sort; tricky bytes come from loaded lines and
    // from additions.
    void randomModels()
    {
        QRandomGenerator random(7);
        const auto text = [&](int most) {
            QByteArray t;
            for (int n = random.bounded(most); n > 0; --n)
                t += "ab=[]#' \r\n\t\xff"[random.bounded(12)];
            return t;
        };
        const QByteArray sections[] = {"", "A", "a", "AB", "\xff", "]["}, names[] = {"", "k", "K", "k2", "\x80"};
        for (int round = 0; round < 100; ++round) {
            QByteArray file;
            for (int i = random.bounded(300); i > 0; --i)
                file += "[" + sections[random.bounded(6)] + "]\r\n" + names[random.bounded(5)] + "="
                    + QByteArray::number(i) + text(4) + "\r\n" + text(8);
            clsINIParse ini, back;
            Load(ini, Write("random.ini", file));
            for (int i = 0; i < 5; ++i)
                ini.AddSectionVariable(S(text(4)), S(text(4)), S(text(4)));
            ini.ChangeVariable(S(text(3)), S(text(6)));
            QList<QByteArray> rows = Probe::Dump(ini, false).split('\n');
            const qsizetype n = rows.size() - 1; // the last is the empty rest after the final line break
            const auto key = [&](qsizetype i) {
                return std::pair(rows[i].left(rows[i].indexOf('|')),
                                 rows[i].left(rows[i].indexOf('=', rows[i].indexOf('|'))));
            };
            for (qsizetype i = 1; i < n; ++i) // every pass to its end
                for (qsizetype j = 0; j + i < n; ++j)
                    if (key(j + 1) < key(j))
                        rows.swapItemsAt(j, j + 1);
            ini.SaveINI();
            QCOMPARE(Probe::Dump(ini, false).split('\n'), rows);
            Load(back, mDir.filePath("random.ini"));
            QCOMPARE(Probe::Dump(back, false), Probe::Dump(ini, false));
        }
    }
};

QTEST_GUILESS_MAIN(tst_clsINIParse)
#include "tst_clsINIParse.moc"