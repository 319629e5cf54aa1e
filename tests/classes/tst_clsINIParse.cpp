#include "clsINIParseProbe.h"

#include <QtTest>

#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// Runs the scenes of ini-scenes.txt, whose head tells their format.

static const auto S = [](const auto& text) { return text.toStdString(); };

// The words of a step: bare, or quoted with the escapes \r \n \0 \\ \" and \xHH.
static QByteArrayList Words(const QByteArray& line)
{
    QByteArrayList words;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == ' ')
            continue;
        const char end = line[i] == '"' ? '"' : ' ';
        QByteArray word;
        for (i += end == '"'; i < line.size() && line[i] != end; ++i) {
            if (end == ' ' || line[i] != '\\') {
                word += line[i];
            } else if (line[++i] == 'x') {
                word += char(line.mid(i + 1, 2).toUInt(nullptr, 16));
                i += 2;
            } else {
                const qsizetype escape = QByteArray("rn0").indexOf(line[i]);
                word += escape < 0 ? line[i] : QByteArray("\r\n\0", 3)[escape];
            }
        }
        words << word;
    }
    return words;
}

// The file of every layout; loading drops its last line.
static const QByteArray kLayoutFile = "k=" + QByteArray(100, 'v') + "\r\njunk";

class tst_clsINIParse : public QObject
{
    Q_OBJECT
    QTemporaryDir mDir;
    int mLayouts = 0;
    // Saves are made as user nobody when the tests run as root, for whom no permission binds;
    // otherwise as the tester.
    uid_t mSaverUid = ::geteuid();
    gid_t mSaverGid = ::getegid();

    static void Write(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        if (!QDir().mkpath(QFileInfo(f).path()) || !f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write test file");
    }
    static QByteArray Read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // Runs one step, its "->" and what follows taken off, and gives what it gives.
    QByteArrayList Run(clsINIParse& ini, const QString& dir, const QByteArrayList& w)
    {
        const auto s = [&](int i) { return S(w.value(i)); };
        const auto yes = [](bool done) { return QByteArrayList{done ? "true" : "false"}; };
        const auto value = [](const std::string& text) { return QByteArrayList{QByteArray::fromStdString(text)}; };
        const QString path = QDir(dir).filePath(QString::fromUtf8(w.value(1)));
        if (w[0] == "read")
            return QFile::exists(path) ? QByteArrayList{Read(path)} : QByteArrayList();
        if (w[0] == "tables")
            return QByteArray::fromStdString(clsINIParseProbe::Dump(ini, true)).split('\n').mid(1);
        if (w[0] == "saveas")
            return SaveInLayout(w);
        // clang-format off
        const std::map<QByteArray, std::function<QByteArrayList()>> calls{
            {"GetVariableValue", [&] { return value(ini.GetVariableValue(s(1))); }},
            {"GetSectionVariableValue", [&] { return value(ini.GetSectionVariableValue(s(1), s(2))); }},
            {"ChangeVariable", [&] { return yes(ini.ChangeVariable(s(1), s(2))); }},
            {"ChangeSectionVariable", [&] { return yes(ini.ChangeSectionVariable(s(1), s(2), s(3))); }},
            {"AddVariable", [&] { return yes(ini.AddVariable(s(1), s(2))); }},
            {"AddSectionVariable", [&] { return yes(ini.AddSectionVariable(s(1), s(2), s(3))); }},
            {"DeleteVariable", [&] { return yes(ini.DeleteVariable(s(1))); }},
            {"DeleteSectionVariable", [&] { return yes(ini.DeleteSectionVariable(s(1), s(2))); }}};
        // clang-format on
        if (calls.count(w[0]))
            return calls.at(w[0])();
        try {
            if (w[0] == "write") {
                Write(path, w.value(2));
            } else if (w[0] == "load") {
                ini.INIFileName(S(path));
                ini.LoadINI();
            } else if (w[0] == "save") {
                ini.SaveINI();
            } else if (w[0] != "root") {
                qFatal("unknown step %s", w[0].constData());
            }
        } catch (const INIFileError& e) {
            return {e.FileName() == ini.INIFileName() ? "throws" : "throws, naming another file"};
        }
        return {};
    }

    // saveas TARGET MODE FOLDERMODE LIMIT, in a layout of its own.
    QByteArrayList SaveInLayout(const QByteArrayList& w)
    {
        const QString dir = mDir.filePath(QString("layout%1").arg(++mLayouts)), target = dir + "/" + w[1];
        const int mode = w[2].toInt(nullptr, 8), folderMode = w[3].toInt(nullptr, 8);
        Write(dir + "/real.ini", kLayoutFile);
        Write(dir + "/hard.ini", kLayoutFile);
        ::mknod(S(dir + "/null").c_str(), S_IFCHR | 0666, makedev(1, 3));
        if (!QFile::link("real.ini", dir + "/link.ini") || !QFile::link("made.ini", dir + "/dangling.ini")
            || !QDir(dir).mkpath("folder") || ::link(S(dir + "/hard.ini").c_str(), S(dir + "/twin.ini").c_str()) != 0)
            qFatal("cannot make the layout");
        for (const QString& name : QDir(dir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotDot))
            if (!(folderMode & S_ISVTX) && ::lchown(S(dir + "/" + name).c_str(), mSaverUid, mSaverGid) != 0)
                qFatal("cannot give the layout to the saver");
        clsINIParse ini;
        ini.INIFileName(S(dir + "/link.ini"));
        ini.LoadINI();
        ini.INIFileName(S(target));
        rlimit before{};
        ::getrlimit(RLIMIT_FSIZE, &before);
        const rlimit limit{w[4] == "-" ? RLIM_INFINITY : w[4].toULongLong(), before.rlim_max};
        if (::chmod(S(dir + "/real.ini").c_str(), mode_t(mode)) != 0 || ::chmod(S(dir).c_str(), mode_t(folderMode)) != 0
            || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            qFatal("cannot set the modes and the limit");
        if (::setegid(mSaverGid) != 0 || ::seteuid(mSaverUid) != 0)
            qFatal("cannot become the saver");
        QByteArrayList gives = Run(ini, dir, {"save"});
        if (::seteuid(::getuid()) != 0 || ::setegid(::getgid()) != 0)
            qFatal("cannot become the tester again");
        if (gives.isEmpty())
            gives << (Read(target) == kLayoutFile.chopped(4) ? "saved" : Read(target));
        else if (Read(dir + "/real.ini") != kLayoutFile)
            gives << "and real.ini changed";
        ::setrlimit(RLIMIT_FSIZE, &before);
        ::chmod(S(dir).c_str(), 0755); // lets the temporary folder go
        VerifyLayoutKept(dir, mode);
        return gives;
    }
    static void VerifyLayoutKept(const QString& dir, int mode)
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
            mSaverUid = nobody->pw_uid;
            mSaverGid = nobody->pw_gid;
        }
        QVERIFY(::chmod(S(mDir.path()).c_str(), 0755) == 0);
    }

    void scenes_data()
    {
        QTest::addColumn<QByteArrayList>("steps");
        QFile file(TEST_DATA_DIR "/ini-scenes.txt");
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read the scenes");
        QList<QByteArrayList> scenes; // each its name, then its steps
        for (const QByteArray& line : file.readAll().split('\n'))
            if (line.startsWith("scene "))
                scenes.append({line.mid(6)});
            else if (!line.isEmpty() && !line.startsWith('#'))
                scenes.last() << line;
        for (const QByteArrayList& scene : scenes)
            QTest::newRow(scene[0].constData()) << scene.mid(1);
    }
    void scenes()
    {
        QFETCH(QByteArrayList, steps);
        const QString dir = mDir.filePath(QTest::currentDataTag());
        clsINIParse ini;
        for (const QByteArray& step : steps) {
            if (step == "root" && mSaverUid == ::getuid())
                QSKIP("needs root: a device node, a file of another owner");
            const QByteArrayList words = Words(step);
            const qsizetype arrow = words.indexOf("->");
            const QByteArrayList gives = Run(ini, dir, words.mid(0, arrow));
            QVERIFY2(gives == (arrow < 0 ? QByteArrayList() : words.mid(arrow + 1)),
                     (step + "\n   gives: " + gives.join(" ")).constData());
        }
    }
};

QTEST_GUILESS_MAIN(tst_clsINIParse)
#include "tst_clsINIParse.moc"
