// The program as it is started once installed: its command line answers
// without a display, and a normal user who runs it from a folder of the
// system's finds the settings in the own ~/.config/kelvalog/, while a copy in
// a folder of the user's keeps them beside it.

#include "appfixture.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvalog::test;

namespace {

const QString TestUser = QStringLiteral("kelvalog-test");
constexpr int Generous = 120000;

struct TRun
{
    int ExitCode = -1;
    QString Out;
    QString Err;
};

TRun Finish(QProcess& Process)
{
    TRun Run;
    if (!Process.waitForStarted(Generous) || !Process.waitForFinished(Generous)) {
        Process.kill();
        Process.waitForFinished();
        Run.Err = QStringLiteral("did not finish: ") +
                  QString::fromLocal8Bit(Process.readAllStandardError());
        return Run;
    }
    Run.ExitCode = Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
    Run.Out = QString::fromLocal8Bit(Process.readAllStandardOutput());
    Run.Err = QString::fromLocal8Bit(Process.readAllStandardError());
    return Run;
}

// Runs the program with nothing of a display in its environment.
TRun RunHeadless(const QStringList& Arguments)
{
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    for (const char* Name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        Env.remove(QString::fromLatin1(Name));
    QProcess Process;
    Process.setProcessEnvironment(Env);
    Process.start(QStringLiteral(KELVALOG_EXE), Arguments);
    return Finish(Process);
}

bool RunQuietly(const QString& Program, const QStringList& Arguments)
{
    QProcess Process;
    Process.start(Program, Arguments);
    return Process.waitForFinished(Generous) && Process.exitStatus() == QProcess::NormalExit &&
           Process.exitCode() == 0;
}

uid_t OwnerOf(const QString& Path)
{
    struct stat Info = {};
    return ::stat(QFile::encodeName(Path).constData(), &Info) == 0 ? Info.st_uid : uid_t(-1);
}

} // namespace

class TInstalledTest : public QObject
{
    Q_OBJECT

    QTemporaryDir Base;
    uid_t Uid = 0;
    gid_t Gid = 0;

    QString At(const QString& Name) const { return Base.filePath(Name); }

    // A folder below the base; the user's own or the system's.
    QString MakeFolder(const QString& Name, bool Users)
    {
        const QString Path = At(Name);
        QDir().mkpath(Path);
        if (Users && (::chown(QFile::encodeName(Path).constData(), Uid, Gid) != 0 ||
                      ::chmod(QFile::encodeName(Path).constData(), 0700) != 0))
            qFatal("chown failed");
        return Path;
    }

    QString CopyProgram(const QString& Folder)
    {
        const QString Exe = Folder + QStringLiteral("/kelvalog");
        QFile::remove(Exe);
        if (!QFile::copy(QStringLiteral(KELVALOG_EXE), Exe))
            qFatal("cannot copy the program");
        QFile::setPermissions(Exe, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                       QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                       QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                       QFileDevice::ExeOther);
        return Exe;
    }

    // Starts the program as the test user with a bare environment; the window
    // closes itself shortly after it is shown, as a user would close it.
    TRun RunAsUser(const QString& Exe, const QString& Home, const QStringList& ExtraEnv = {},
                   const QStringList& Arguments = {QStringLiteral("-platform"),
                                                   QStringLiteral("offscreen")})
    {
        QStringList Args = {QStringLiteral("-u"),
                            TestUser,
                            QStringLiteral("--"),
                            QStringLiteral("env"),
                            QStringLiteral("-i"),
                            QStringLiteral("HOME=") + Home,
                            QStringLiteral("XDG_RUNTIME_DIR=") + Home,
                            QStringLiteral("PATH=/usr/bin:/bin"),
                            QStringLiteral("LANG=C.UTF-8"),
                            QStringLiteral("KELVALOG_TEST_CLOSE_AFTER_MS=200")};
        for (const char* Name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
            if (qEnvironmentVariableIsSet(Name))
                Args << QString::fromLatin1(Name) + QLatin1Char('=') + qEnvironmentVariable(Name);
        Args << ExtraEnv << Exe << Arguments;
        QProcess Process;
        Process.start(QStringLiteral("runuser"), Args);
        return Finish(Process);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(Base.isValid());
        // The user must reach the folders below.
        QFile::setPermissions(Base.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                               QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                               QFileDevice::ExeOther);
    }

    void commandLineAnswersWithoutADisplay()
    {
        const TRun Version = RunHeadless({QStringLiteral("--version")});
        QCOMPARE(Version.ExitCode, 0);
        QCOMPARE(Version.Out, QStringLiteral("kelvalog " KELVALOG_VERSION "\n"));

        const TRun Help = RunHeadless({QStringLiteral("--help")});
        QCOMPARE(Help.ExitCode, 0);
        for (const char* Expected : {"--help", "--version", "KELVALOG_PORTS", ".config/kelvalog"})
            QVERIFY2(Help.Out.contains(QLatin1String(Expected)), Expected);
        // The toolkit's own options are accepted but not offered.
        QVERIFY(!Help.Out.contains(QLatin1String("platform")));
        QVERIFY2(Help.Out.startsWith(QLatin1String("Usage: kelvalog [options]")),
                 qPrintable(Help.Out));

        const TRun Unknown = RunHeadless({QStringLiteral("--bogus")});
        QCOMPARE(Unknown.ExitCode, 2);
        QVERIFY(Unknown.Out.isEmpty());
        QVERIFY2(Unknown.Err.contains(QLatin1String("Unknown option 'bogus'")),
                 qPrintable(Unknown.Err));
        QVERIFY(Unknown.Err.contains(QLatin1String("--help")));

        const TRun Stray = RunHeadless({QStringLiteral("data.slk")});
        QCOMPARE(Stray.ExitCode, 2);
        QVERIFY2(Stray.Err.contains(QLatin1String("'data.slk'")), qPrintable(Stray.Err));
    }

    void createTheUser()
    {
        if (::geteuid() != 0)
            QSKIP("running as a normal user needs root to switch to one");
        if (!::getpwnam(qPrintable(TestUser)))
            RunQuietly(QStringLiteral("useradd"),
                       {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                        QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"), TestUser});
        const passwd* Entry = ::getpwnam(qPrintable(TestUser));
        QVERIFY2(Entry, "useradd failed");
        Uid = Entry->pw_uid;
        Gid = Entry->pw_gid;
    }

    void anInstalledProgramKeepsSettingsInTheUsersFolder()
    {
        if (Uid == 0)
            QSKIP("no test user");
        const QString Exe = CopyProgram(MakeFolder(QStringLiteral("usr/bin"), false));
        const QString Home = MakeFolder(QStringLiteral("home/ann"), true);
        const QString Ini = Home + QStringLiteral("/.config/kelvalog/kelvalog.INI");

        TRun Run = RunAsUser(Exe, Home);
        QVERIFY2(Run.ExitCode == 0, qPrintable(Run.Err));
        QVERIFY2(!Run.Err.contains(QLatin1String("message box")), qPrintable(Run.Err));
        QVERIFY(!QFileInfo::exists(At(QStringLiteral("usr/bin/kelvalog.INI"))));
        QCOMPARE(KeysInOrder(Ini), TwelveKeys);
        QCOMPARE(OwnerOf(Ini), Uid);
        QCOMPARE(OwnerOf(Home + QStringLiteral("/.config/kelvalog")), Uid);

        // What the first run wrote, changed as a user would change it: the
        // second run has to read it back to write it again unchanged.
        WriteText(Ini, QStringLiteral("[Pressure sensor]\nLower range=650\nUpper range=1100\n"
                                      "[Board selection]\nBoard=1\n"
                                      "[RH sensor]\nSpan adjust=1.5\nOffset adjust=0.25\n"));
        Run = RunAsUser(Exe, Home);
        QVERIFY2(Run.ExitCode == 0, qPrintable(Run.Err));
        QVERIFY2(!Run.Err.contains(QLatin1String("message box")), qPrintable(Run.Err));
        QCOMPARE(ValueOf(Ini, QStringLiteral("Pressure sensor/Lower range")),
                 QStringLiteral("650"));
        QCOMPARE(ValueOf(Ini, QStringLiteral("Pressure sensor/Upper range")),
                 QStringLiteral("1100"));
        QCOMPARE(ValueOf(Ini, QStringLiteral("Board selection/Board")), QStringLiteral("1"));
        QCOMPARE(ValueOf(Ini, QStringLiteral("RH sensor/Span adjust")), QStringLiteral("1.5"));
        QCOMPARE(ValueOf(Ini, QStringLiteral("RH sensor/Offset adjust")), QStringLiteral("0.25"));
        QVERIFY(!QFileInfo::exists(At(QStringLiteral("usr/bin/kelvalog.INI"))));

        // XDG_CONFIG_HOME names the user's settings folder when set.
        const QString Xdg = Home + QStringLiteral("/elsewhere");
        Run = RunAsUser(Exe, Home, {QStringLiteral("XDG_CONFIG_HOME=") + Xdg});
        QVERIFY2(Run.ExitCode == 0, qPrintable(Run.Err));
        QCOMPARE(KeysInOrder(Xdg + QStringLiteral("/kelvalog/kelvalog.INI")), TwelveKeys);
    }

    void aSettingsFileTheUserCannotWriteIsPassedOver()
    {
        if (Uid == 0)
            QSKIP("no test user");
        // Left beside a shared copy by its administrator, read-only.
        const QString Folder = MakeFolder(QStringLiteral("opt/kelvalog"), false);
        const QString Exe = CopyProgram(Folder);
        const QString Shared = Folder + QStringLiteral("/kelvalog.INI");
        WriteText(Shared, QStringLiteral("[Board selection]\nBoard=1\n"));
        const QString Home = MakeFolder(QStringLiteral("home/bob"), true);

        const TRun Run = RunAsUser(Exe, Home);
        QVERIFY2(Run.ExitCode == 0, qPrintable(Run.Err));
        QVERIFY2(!Run.Err.contains(QLatin1String("message box")), qPrintable(Run.Err));
        QCOMPARE(ReadLines(Shared),
                 QStringList({QStringLiteral("[Board selection]"), QStringLiteral("Board=1")}));
        QCOMPARE(KeysInOrder(Home + QStringLiteral("/.config/kelvalog/kelvalog.INI")), TwelveKeys);
    }

    void aCopyInTheUsersOwnFolderKeepsSettingsBesideIt()
    {
        if (Uid == 0)
            QSKIP("no test user");
        const QString Folder = MakeFolder(QStringLiteral("home/cy/kelvalog"), true);
        MakeFolder(QStringLiteral("home/cy"), true);
        const QString Exe = CopyProgram(Folder);
        const QString Home = At(QStringLiteral("home/cy"));

        TRun Run = RunAsUser(Exe, Home);
        QVERIFY2(Run.ExitCode == 0, qPrintable(Run.Err));
        QVERIFY2(!Run.Err.contains(QLatin1String("message box")), qPrintable(Run.Err));
        const QString Beside = Folder + QStringLiteral("/kelvalog.INI");
        QCOMPARE(KeysInOrder(Beside), TwelveKeys);
        QCOMPARE(OwnerOf(Beside), Uid);
        QVERIFY(!QFileInfo::exists(Home + QStringLiteral("/.config/kelvalog")));

        WriteText(Beside, QStringLiteral("[Pressure sensor]\nLower range=700\n"));
        Run = RunAsUser(Exe, Home);
        QVERIFY2(Run.ExitCode == 0, qPrintable(Run.Err));
        QCOMPARE(ValueOf(Beside, QStringLiteral("Pressure sensor/Lower range")),
                 QStringLiteral("700"));
        QVERIFY(!QFileInfo::exists(Home + QStringLiteral("/.config/kelvalog")));
    }
};

QTEST_MAIN(TInstalledTest)
#include "installed_test.moc"
