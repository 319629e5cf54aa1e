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

// Every byte of a literal, a NUL included.
template <std::size_t N>
static QByteArray B(const char (&bytes)[N])
{
    return QByteArray(bytes, N - 1);
}
template <class T>
static std::string S(const T& text)
{
    return text.toStdString();
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

// The file every save of the scene loads; its last line is dropped, so a file written in place
// must be cut short. It is longer than the smallest file size limit.
static const QByteArray kSceneFile = "k=" + QByteArray(100, 'v') + "\r\njunk";
static const QByteArray kSceneSaved = "k=" + QByteArray(100, 'v') + "\r\n";

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

    // The folder of a save's test row: real.ini holding the scene file, link.ini a symbolic link
    // to it, dangling.ini one to the missing made.ini, hard.ini and its second name twin.ini, an
    // empty folder and, where a device node can be made, null. Unless shared, all is the saver's.
    QString MakeScene(bool shared = false)
    {
        const QString tag = QTest::currentDataTag(), dir = mDir.filePath(tag);
        Write(tag + "/real.ini", kSceneFile);
        Write(tag + "/hard.ini", kSceneFile);
        ::mknod(S(dir + "/null").c_str(), S_IFCHR | 0666, makedev(1, 3));
        if (!QFile::link("real.ini", dir + "/link.ini") || !QFile::link("made.ini", dir + "/dangling.ini")
            || !QDir(dir).mkpath("folder") || ::link(S(dir + "/hard.ini").c_str(), S(dir + "/twin.ini").c_str()) != 0)
            qFatal("cannot make the scene");
        for (const QString& name : QDir(dir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotDot))
            if (!shared && !Saver::Own(dir + "/" + name))
                qFatal("cannot give the scene to the saver");
        return dir;
    }
    // Loads real.ini through link.ini and saves it to the target as the saver, under the given
    // modes and file size limit. Returns whether an error naming the file was thrown.
    static bool SaveInScene(const QString& dir, const std::string& target, int mode, int folderMode, rlim_t sizeLimit)
    {
        clsINIParse ini;
        Load(ini, dir + "/link.ini");
        ini.INIFileName(target);
        rlimit before{};
        ::getrlimit(RLIMIT_FSIZE, &before);
        const rlimit limit{sizeLimit, before.rlim_max};
        const auto restore = qScopeGuard([&] {
            ::setrlimit(RLIMIT_FSIZE, &before);
            ::chmod(S(dir).c_str(), 0755); // lets the temporary folder go
        });
        if (::chmod(S(dir + "/real.ini").c_str(), mode_t(mode)) != 0 || ::chmod(S(dir).c_str(), mode_t(folderMode)) != 0
            || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            qFatal("cannot set the modes and the limit");
        try {
            const Saver saver;
            ini.SaveINI();
        } catch (const INIFileError& e) {
            return e.FileName() == target;
        }
        return false;
    }
    // What every save leaves as it was: both links, hard.ini's second name, the device node,
    // real.ini's mode, and no temporary file.
    static void VerifySceneKept(const QString& dir, int mode)
    {
        QCOMPARE(QFile::symLinkTarget(dir + "/link.ini"), dir + "/real.ini");
        QCOMPARE(QFile::symLinkTarget(dir + "/dangling.ini"), dir + "/made.ini");
        QCOMPARE(Read(dir + "/twin.ini"), Read(dir + "/hard.ini"));
        QVERIFY(!QFile::exists(dir + "/null") || std::filesystem::is_character_file(S(dir + "/null")));
        QCOMPARE(std::filesystem::status(S(dir + "/real.ini")).permissions(), std::filesystem::perms(mode));
        QCOMPARE(QDir(dir).entryList({".*"}, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
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
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("tables");
        QTest::newRow("every line break")
            << B("a=1\r\nb=2\rc=3\nd=4\r\r\ne=5\n\rf=6") << B("|a=1\n|b=2\n|c=3\n|d=4\n|e=5\n|f=6\n");
        QTest::newRow("numbers skip only empty lines")
            << B("\r\n  \r\n\r\n\n\rjunk\r\n'c\r\n[\r\n[S]\r\n#d\r\nx=1") << B("S|x=1\n3:'c\n6:#d\n");
        QTest::newRow("first = splits") << B("a=b=c\r\n=x\r\nname=") << B("|a=b=c\n|=x\n|name=\n");
        QTest::newRow("markers win") << B("[a=b]\r\nk=1\r\n#x=1\r\n'y=2") << B("a=b|k=1\n3:#x=1\n4:'y=2\n");
        QTest::newRow("raw first and last byte")
            << B("[M]\r\nk=1\r\n[O] \r\nj=2\r\n [S]=3\r\n #c=4") << B("M|k=1\nM|j=2\nM| [S]=3\nM| #c=4\n");
        QTest::newRow("headers are [ to ]")
            << B("[S]\r\n[]\r\nk=1\r\n[\r\n[=x\r\n[]=]\r\nk=v\r\n]") << B("|k=1\n|[=x\n]=|k=v\n");
        QTest::newRow("bytes untouched") << B("\xef\xbb\xbfk\0\xff=\0v") << B("|\xef\xbb\xbfk\0\xff=\0v\n");
    }
    void reading()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, tables);
        clsINIParse ini;
        Load(ini, Write("read.ini", file));
        QCOMPARE(Probe::Dump(ini), tables);
    }

    // Lookups take the first match in table order, without a section whatever its section; a
    // change takes the same variable, and creates none.
    void lookupsAndChanges()
    {
        clsINIParse ini;
        Load(ini, Write("l.ini", "k=top\r\n[Main]\r\nPort=1\r\nkey = a=b\r\ne=\r\n[B]\r\nk=b\r\nPort=2\r\nPort=3"));
        QCOMPARE(ini.GetVariableValue("Port"), "1");
        QCOMPARE(ini.GetVariableValue("port"), ""); // case counts
        QCOMPARE(ini.GetVariableValue("key"), ""); // blanks count
        QCOMPARE(ini.GetVariableValue("key "), " a=b");
        QCOMPARE(ini.GetSectionVariableValue("B", "Port"), "2");
        QCOMPARE(ini.GetSectionVariableValue("MAIN", "Port"), "");
        QCOMPARE(ini.GetSectionVariableValue("", "k"), "top");
        QCOMPARE(ini.GetSectionVariableValue("", "Port"), "");
        QVERIFY(ini.ChangeVariable("Port", "a longer new value"));
        QVERIFY(ini.ChangeVariable("e", "grown"));
        QVERIFY(ini.ChangeSectionVariable("B", "Port", "x"));
        QVERIFY(!ini.ChangeSectionVariable("X", "k", "x"));
        QVERIFY(!ini.ChangeSectionVariable("", "Port", "x"));
        QCOMPARE(Probe::Dump(ini),
                 B("|k=top\nMain|Port=a longer new value\nMain|key = a=b\nMain|e=grown\nB|k=b\nB|Port=x\nB|Port=3\n"));
    }

    // Loading again appends; deleting moves the last variable into the gap and adding appends,
    // until a save sorts the tables; the sorted order then decides lookups. Of the comments
    // sharing a number, the one loaded last is saved. A file whose reading fails throws.
    void editing()
    {
        clsINIParse ini;
        for (const QString& path : {mDir.filePath("missing.ini"), mDir.path(), Write("a.ini", "#a\r\nd=1"),
                                    Write("p.ini", "#b\r\n[S]\r\nv1=1\r\nv2=2\r\nv3=3\r\nv4=4")})
            Load(ini, path);
        QVERIFY(ini.DeleteSectionVariable("S", "v2"));
        QVERIFY(ini.AddVariable("v1", "top")); // the name is taken in another section only
        QVERIFY(!ini.AddSectionVariable("S", "v1", "x"));
        QVERIFY(!ini.DeleteVariable("v3")); // in a section, not sectionless
        QCOMPARE(Probe::Dump(ini), B("|d=1\nS|v1=1\nS|v4=4\nS|v3=3\n|v1=top\n1:#a\n1:#b\n"));
        QCOMPARE(ini.GetVariableValue("v1"), "1");
        ini.SaveINI();
        QCOMPARE(ini.GetVariableValue("v1"), "top");
        QCOMPARE(Read(mDir.filePath("p.ini")), B("#b\r\nd=1\r\nv1=top\r\n\r\n[S]\r\nv1=1\r\nv3=3\r\nv4=4\r\n"));
        QVERIFY_THROWS_EXCEPTION(INIFileError, Load(ini, "/proc/self/mem"));
    }

    // A save sorts by section, then name, by byte value; puts each comment back on its line
    // number, the ones beyond the end after it; and drops empty sections and lines that were
    // neither comment nor variable.
    void savedText_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("worked example") << B("#top\r\na=1\r\n[Zeta]\r\nx=9\r\n\r\n[Alpha]\r\n'note\r\nk=v\r\n")
                                        << B("#top\r\na=1\r\n\r\n[Alpha]\r\nk=v\r\n'note\r\n\r\n[Zeta]\r\nx=9\r\n");
        QTest::newRow("byte order") << B("[alpha]\r\na=1\r\n[Zeta]\r\nz=1\r\n[]\r\nb=2\r\nB=3")
                                    << B("B=3\r\nb=2\r\n\r\n[Zeta]\r\nz=1\r\n\r\n[alpha]\r\na=1\r\n");
        QTest::newRow("comment moves above header") << B("[S]\r\n#c\r\nk=v") << B("\r\n#c\r\n[S]\r\nk=v\r\n");
        QTest::newRow("dropped lines") << B("[Empty]\r\n[S]\r\njunk\r\n\r\nk=v\r\n") << B("\r\n[S]\r\nk=v\r\n");
        QTest::newRow("trailing comments kept") << B("k=v\r\n#a\r\nj\r\n#b\r\n#c") << B("k=v\r\n#a\r\n#b\r\n#c\r\n");
    }
    void savedText()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, saved);
        clsINIParse ini;
        const QString path = Write("saved.ini", file);
        Load(ini, path);
        ini.SaveINI();
        QCOMPARE(Read(path), saved);
    }

    // Saves the scene file loaded through link.ini to each kind of target, as its owner nobody
    // when run as root, so that permissions bind. The target reads back the saved text; the
    // scene stays.
    void saving_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("through a link") << "link.ini" << 0640 << 0755 << kSceneSaved;
        QTest::newRow("new file") << "new.ini" << 0640 << 0755 << kSceneSaved;
        QTest::newRow("hard link") << "hard.ini" << 0640 << 0755 << kSceneSaved;
        QTest::newRow("dangling link") << "dangling.ini" << 0640 << 0755 << kSceneSaved;
        QTest::newRow("device") << "null" << 0640 << 0755 << QByteArray(); // reads back empty
        QTest::newRow("folder not writable") << "link.ini" << 0640 << 0555 << kSceneSaved;
        QTest::newRow("sticky folder, file of another") << "real.ini" << 0666 << 01777 << kSceneSaved;
    }
    void saving()
    {
        QFETCH(QString, target);
        QFETCH(int, mode);
        QFETCH(int, folderMode);
        QFETCH(QByteArray, saved);
        const bool sticky = folderMode & S_ISVTX; // nothing in it is the saver's
        const QString dir = MakeScene(sticky);
        if ((target == "null" && !QFile::exists(dir + "/null")) || (sticky && Saver::uid == ::getuid()))
            QSKIP("needs root: a device node, a file of another owner");
        QVERIFY(!SaveInScene(dir, S(dir + "/" + target), mode, folderMode, RLIM_INFINITY));
        QCOMPARE(Read(dir + "/" + target), saved);
        VerifySceneKept(dir, mode);
    }

    // A failed save throws, naming the file, and leaves real.ini as it was.
    void failedSaves_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("mode");
        QTest::addColumn<rlim_t>("sizeLimit");
        QTest::newRow("target is a folder") << "folder" << 0640 << RLIM_INFINITY;
        QTest::newRow("folder missing") << "missing/x.ini" << 0640 << RLIM_INFINITY;
        QTest::newRow("disk full half-way") << "link.ini" << 0640 << rlim_t(64);
        QTest::newRow("read-only file") << "link.ini" << 0400 << RLIM_INFINITY;
    }
    void failedSaves()
    {
        QFETCH(QString, target);
        QFETCH(int, mode);
        QFETCH(rlim_t, sizeLimit);
        const QString dir = MakeScene();
        QVERIFY(SaveInScene(dir, S(dir + "/" + target), mode, 0755, sizeLimit));
        QCOMPARE(Read(dir + "/real.ini"), kSceneFile);
        VerifySceneKept(dir, mode);
    }

    // Names and values that would be saved as a line that reads back as something else are
    // refused, added or changed. Section "" is the sectionless group.
    void refusedNames_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("accepted");
        for (const auto& [tag, name] :
             {std::pair{"=", "a=b"}, {"CR", "a\rb"}, {"LF", "a\nb"}, {"#", "#x"}, {"'", "'x"}})
            QTest::newRow(tag) << B("") << QByteArray(name) << B("1") << false;
        QTest::newRow("reads as header") << B("") << B("[x") << B("y]") << false;
        QTest::newRow("break in section") << B("S\nT") << B("x") << B("1") << false;
        QTest::newRow("break in value") << B("S") << B("x") << B("1\r") << false;
        QTest::newRow("loaded name, header value") << B("") << B("[a") << B("c]") << false;
        QTest::newRow("loaded name") << B("") << B("[a") << B("c") << true;
        QTest::newRow("bracket, other value") << B("") << B("[x") << B("y] ") << true;
        QTest::newRow("marker not first") << B("") << B(" #x#") << B("[y]") << true;
        QTest::newRow("odd but writable") << B("a=b]") << B("") << B("]") << true;
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
        const bool done = ini.AddSectionVariable(S(section), S(name), S(value))
            || ini.ChangeSectionVariable(S(section), S(name), S(value));
        QCOMPARE(done, accepted);
        QVERIFY(accepted || Probe::Dump(ini) == before);
    }

    // On random models, saving orders the variables as a stable sort by section and name
    // would, and the saved file loaded into a new object gives the same variables in the same
    // order. Sections are long enough for a real merge sort; tricky bytes come from loaded
    // lines and from additions.
    void randomModels()
    {
        QRandomGenerator random(7);
        const auto text = [&](int most) {
            QByteArray t;
            for (int n = random.bounded(most); n > 0; --n)
                t += "ab=[]#' \r\n\t\xff"[random.bounded(12)];
            return t;
        };
        const auto byKey = [](const QByteArray& a, const QByteArray& b) {
            const qsizetype i = a.indexOf('|'), j = b.indexOf('|');
            return std::pair(a.left(i), a.mid(i, a.indexOf('=', i) - i))
                < std::pair(b.left(j), b.mid(j, b.indexOf('=', j) - j));
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
            QList<QByteArray> rows = Probe::Dump(ini, false).split('\n'); // the last one empty
            std::stable_sort(rows.begin(), rows.end() - 1, byKey);
            ini.SaveINI();
            QCOMPARE(Probe::Dump(ini, false).split('\n'), rows);
            Load(back, mDir.filePath("random.ini"));
            QCOMPARE(Probe::Dump(back, false), Probe::Dump(ini, false));
        }
    }
};

QTEST_GUILESS_MAIN(tst_clsINIParse)
#include "tst_clsINIParse.moc"
