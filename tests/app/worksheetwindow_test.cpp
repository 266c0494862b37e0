// The worksheet log as a user on a desktop meets it, under Xvfb with the full
// office: a visible Calc window fills with records while the window stays
// alive, and the office with its workbook outlives the program.
//
// The test runs itself twice: as the program (--kelvalog: the main window
// driven as a user would, with the board simulator on a pseudo-terminal) and
// as the test that watches the office from outside through UNO.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstring>
#include <string>

#ifdef KELVALOG_HAVE_CALC

#include "app/applicationevents.h"
#include "app/officebusy.h"
#include "app/stopsignals.h"
#include "appfixture.h"
#include "controls/dropdownlist.h"
#include "controls/numericfield.h"
#include "controls/panelstatusbar.h"
#include "link/port/comport.h"
#include "link/ui/comselectform.h"
#include "link/port/datapacket.h"
#include "logging/calc/calcoffice.h"
#include "logging/calc/calcserver.h"
#include "logging/logcontrol.h"

#include <com/sun/star/awt/PosSize.hpp>
#include <com/sun/star/awt/XWindow2.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/util/XModifiable.hpp>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kelvalog {
namespace {

constexpr int SimulatorCom = 3;
constexpr int Records = 3;

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

// ---- The program, driven as a user would ----------------------------------

// Lets the window work until `done` or `seconds` have passed.
template <typename Predicate> bool WaitUntil(Predicate done, int seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QTest::qWait(20);
    }
    return true;
}

int RunKelvalog(int argc, char* argv[], const QString& IniPath)
{
    TKelvalogApplication Application(argc, argv);
    TKelvalogApplication::setFont(TMainForm::WindowFont());
    test::TErrorBoxes Boxes;
    TOfficeBusy OfficeBusy;
    TMainForm Form(test::QuickOptions(IniPath));
    OfficeBusy.SetStatusBar(Form.StatusPanel().StatusBar());
    RegisterCalcServer(&OfficeBusy);
    // As the program's main: a stop signal closes once the office is idle.
    const bool StopWhileStarting = qEnvironmentVariableIsSet("KELVALOG_TEST_STOP_WHILE_STARTING");
    std::optional<TStopSignals> Stop;
    if (StopWhileStarting)
        Stop.emplace([&](int) { OfficeBusy.WhenIdle([&Form] { CloseWithoutUser(Form); }); });
    // Every line the window decodes, for the watcher to hold against what the
    // simulator sent, and every overrun of the input queue.
    std::ofstream Decoded((IniPath + QStringLiteral(".lines")).toStdString());
    const auto Decode = Form.DataPacket->OnStringPacket;
    Form.DataPacket->OnStringPacket = [&Decoded, Decode](QObject* Sender, const std::string& Line) {
        Decoded << Line << std::endl;
        Decode(Sender, Line);
    };
    int Overruns = 0;
    const auto Overrun = Form.ComPort->OnInputOverrun;
    Form.ComPort->OnInputOverrun = [&Overruns, Overrun](QObject* Sender, std::uint64_t Bytes) {
        ++Overruns;
        Overrun(Sender, Bytes);
    };
    Form.move(0, 0);
    Form.show();
    Form.TopPanel().UsedBoardComboBox()->setCurrentIndex(Board5V);
    Form.UsedBoardComboBoxClick();
    Form.SamplingPanel().SampleIntervalField()->SetIntegerValue(1);
    Form.LogPanel().IntervalField()->SetIntegerValue(1);
    Form.IntervalFieldChange();

    QTimer Answer;
    QObject::connect(&Answer, &QTimer::timeout, &Form,
                     [] { test::AnswerPortDialog(SimulatorCom); });
    Answer.start(50);
    QTest::mouseClick(Form.TopPanel().OnLineAction(), Qt::LeftButton);
    Answer.stop();
    if (!Form.OnLine) {
        std::cout << "error not on line" << std::endl;
        return 2;
    }

    // What the window does while the office starts.
    int Ticks = 0;
    bool BusyCursor = false;
    bool Signalled = false;
    QString StatusSeen;
    QTimer Watch;
    QObject::connect(&Watch, &QTimer::timeout, &Form, [&] {
        ++Ticks;
        if (const QCursor* Cursor = QApplication::overrideCursor())
            BusyCursor = BusyCursor || Cursor->shape() == Qt::WaitCursor;
        if (Stop && BusyCursor && !Signalled) {
            Signalled = true;
            ::kill(::getpid(), SIGTERM);
        }
        const QString Text = Form.StatusPanel().StatusBar()->Panel(1).Text;
        if (Text.startsWith(QStringLiteral("Starting")))
            StatusSeen = Text;
    });
    Form.LogPanel().LoggingType()->setItemIndex(static_cast<int>(TLogKind::Worksheet));
    Form.LoggingTypeClick();
    Watch.start(50);
    QTest::mouseClick(Form.TopPanel().LogOnAction(), Qt::LeftButton);
    Watch.stop();
    std::cout << "opened logging=" << Form.Logging() << " ticks=" << Ticks << " busy=" << BusyCursor
              << " status=" << StatusSeen.toStdString() << " boxes=" << Boxes.Texts.size()
              << std::endl;
    if (StopWhileStarting) {
        const int Code = TKelvalogApplication::exec();
        std::cout << "ended code=" << Code << " signalled=" << Signalled
                  << " logopen=" << Form.LogOpen() << " online=" << Form.OnLine << std::endl;
        return Code;
    }
    if (!Form.Logging()) {
        // Sampling goes on; no record is counted.
        QTest::qWait(2500);
        std::cout << "failed box=" << (Boxes.Texts.empty() ? "" : Boxes.Texts[0].toStdString())
                  << " records=" << Form.LogPanel().LogRecordsWritten()->GetIntegerValue()
                  << std::endl;
        Form.close();
        return 0;
    }

    // Three records, then logging is switched off: the office stays.
    if (!WaitUntil(
            [&] { return Form.LogPanel().LogRecordsWritten()->GetIntegerValue() >= Records; },
            60)) {
        std::cout << "error records " << Form.LogPanel().LogRecordsWritten()->GetIntegerValue()
                  << std::endl;
        return 4;
    }
    QTest::mouseClick(Form.TopPanel().LogOnAction(), Qt::LeftButton);
    std::cout << "stopped logging=" << Form.Logging()
              << " records=" << Form.LogPanel().LogRecordsWritten()->GetIntegerValue()
              << " boxes=" << Boxes.Texts.size() << " overruns=" << Overruns << std::endl;
    std::cout << "ready" << std::endl;

    // The watcher places the office's window, then asks for the picture.
    std::string Command;
    QSocketNotifier Input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&Input, &QSocketNotifier::activated, &Form, [&] {
        char Buffer[512];
        const ssize_t Got = ::read(STDIN_FILENO, Buffer, sizeof Buffer);
        if (Got > 0)
            Command.append(Buffer, static_cast<std::size_t>(Got));
        else
            Command += "\n";
    });
    if (!WaitUntil([&] { return Command.find('\n') != std::string::npos; }, 120))
        return 5;
    Input.setEnabled(false);
    const std::string Prefix = "shoot ";
    if (Command.rfind(Prefix, 0) == 0) {
        Form.raise();
        QTest::qWait(500);
        const QString Path = QString::fromStdString(
            Command.substr(Prefix.size(), Command.find('\n') - Prefix.size()));
        const bool Saved = QGuiApplication::primaryScreen()->grabWindow(0).save(Path);
        std::cout << "shot " << Saved << std::endl;
    }
    Form.close();
    std::cout << "closed overruns=" << Overruns << std::endl;
    return 0;
}

// ---- The watcher ----------------------------------------------------------

struct TOfficeProcess
{
    pid_t Pid = -1;
    pid_t Group = -1;
    std::string Pipe;
};

std::string ReadAll(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// State letter and process group of a process; 0 when it is gone.
std::pair<char, pid_t> StateOf(pid_t pid)
{
    const std::string stat = ReadAll("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return {0, 0};
    std::istringstream fields(stat.substr(close + 2));
    char state = 0;
    pid_t parent = 0;
    pid_t group = 0;
    fields >> state >> parent >> group;
    return {state, group};
}

bool Alive(pid_t pid)
{
    const char state = StateOf(pid).first;
    return state != 0 && state != 'Z' && state != 'X';
}

// The office whose profile lies in `folder`.
TOfficeProcess FindOffice(const std::string& folder)
{
    TOfficeProcess office;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string commandLine = ReadAll(entry.path() / "cmdline");
        std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
        if (commandLine.find("soffice.bin") == std::string::npos ||
            commandLine.find("UserInstallation=file://" + folder) == std::string::npos ||
            commandLine.find("/bin/sh") == 0)
            continue;
        const auto accept = commandLine.find("--accept=pipe,name=");
        if (accept == std::string::npos)
            continue;
        const auto start = accept + std::strlen("--accept=pipe,name=");
        office.Pid = std::stoi(name);
        office.Group = StateOf(office.Pid).second;
        office.Pipe = commandLine.substr(start, commandLine.find(';', start) - start);
    }
    return office;
}

Reference<css::frame::XDesktop2> ConnectTo(const std::string& pipe,
                                           Reference<css::bridge::XBridge>& bridge)
{
    const auto local = LocalUnoContext();
    const auto connection =
        css::connection::Connector::create(local)->connect(ToUno("pipe,name=" + pipe));
    bridge = css::bridge::BridgeFactory::create(local)->createBridge(OUString(), OUString("urp"),
                                                                     connection, nullptr);
    Reference<css::uno::XComponentContext> remote(
        bridge->getInstance(OUString("StarOffice.ComponentContext")), UNO_QUERY_THROW);
    return css::frame::Desktop::create(remote);
}

Reference<css::frame::XModel> TheWorkbook(const Reference<css::frame::XDesktop2>& desktop)
{
    const auto components = desktop->getComponents()->createEnumeration();
    while (components->hasMoreElements()) {
        Reference<css::sheet::XSpreadsheetDocument> document(components->nextElement(), UNO_QUERY);
        if (document.is())
            return Reference<css::frame::XModel>(document, UNO_QUERY_THROW);
    }
    return {};
}

Reference<css::sheet::XSpreadsheet> FirstSheet(const Reference<css::frame::XModel>& workbook)
{
    Reference<css::sheet::XSpreadsheetDocument> document(workbook, UNO_QUERY_THROW);
    Reference<css::container::XIndexAccess> sheets(document->getSheets(), UNO_QUERY_THROW);
    return Reference<css::sheet::XSpreadsheet>(sheets->getByIndex(0), UNO_QUERY_THROW);
}

// Rows from the top whose date cell holds a number.
int RecordRows(const Reference<css::sheet::XSpreadsheet>& sheet)
{
    int rows = 0;
    while (sheet->getCellByPosition(0, rows)->getType() == css::table::CellContentType_VALUE)
        ++rows;
    return rows;
}

std::string RunTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20000))
        return {};
    return process.readAllStandardOutput().toStdString();
}

// The mapped X window of a top-level whose name holds `title`; empty when
// there is none.
std::string MappedWindow(const std::string& title)
{
    std::istringstream tree(
        RunTool(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")}));
    std::string line;
    while (std::getline(tree, line)) {
        if (line.find(title) == std::string::npos)
            continue;
        std::istringstream fields(line);
        std::string id;
        fields >> id;
        const std::string info = RunTool(QStringLiteral("xwininfo"),
                                         {QStringLiteral("-id"), QString::fromStdString(id)});
        if (info.find("Map State: IsViewable") != std::string::npos)
            return id;
    }
    return {};
}

std::string ReadLineFrom(QProcess& process, int seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!process.canReadLine()) {
        if (std::chrono::steady_clock::now() >= deadline || process.state() == QProcess::NotRunning)
            return {};
        process.waitForReadyRead(200);
    }
    return process.readLine().trimmed().toStdString();
}

class WorksheetWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "needs an X display (run under xvfb-run)";
        // Orphans of the program (the office's keeper) come to us, so that
        // the test can see them end.
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
        ASSERT_TRUE(Temporary.isValid());
        Simulator.setProgram(QStringLiteral(KELVALOG_BOARDSIM));
        Simulator.setArguments({QStringLiteral("--ports"), Ports.path(), QStringLiteral("--com"),
                                QString::number(SimulatorCom), QStringLiteral("--board"),
                                QStringLiteral("5v"), QStringLiteral("--rate"),
                                QStringLiteral("30"), QStringLiteral("--baud"),
                                QStringLiteral("9600"), QStringLiteral("--seed"),
                                QStringLiteral("7"), QStringLiteral("--verbose")});
        Simulator.setStandardOutputFile(Temporary.filePath(QStringLiteral("sent.txt")));
        Simulator.start();
        ASSERT_TRUE(Simulator.waitForStarted());
        const QString Link = Ports.filePath(QStringLiteral("COM%1").arg(SimulatorCom));
        for (int i = 0; i < 100 && !QFileInfo::exists(Link); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_TRUE(QFileInfo::exists(Link));
    }

    void TearDown() override
    {
        if (Program.state() != QProcess::NotRunning) {
            Program.kill();
            Program.waitForFinished(5000);
        }
        if (Office.Group > 0)
            ::kill(-Office.Group, SIGKILL);
        if (Simulator.state() != QProcess::NotRunning) {
            Simulator.terminate();
            Simulator.waitForFinished(5000);
        }
        ReapOrphans();
    }

    // Starts the program with the office's profiles in a folder of the test.
    void StartProgram()
    {
        std::filesystem::create_directory(Profiles);
        QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
        Environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        Environment.insert(QStringLiteral("TMPDIR"), QString::fromStdString(Profiles));
        const QString Runtime = Temporary.filePath(QStringLiteral("runtime"));
        QDir().mkpath(Runtime);
        QFile::setPermissions(Runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
        Environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), Runtime);
        Environment.insert(QStringLiteral("KELVALOG_PORTS"), Ports.path());
        Environment.remove(QString::fromLatin1(HeadlessOfficeVariable));
        Program.setProcessEnvironment(Environment);
        Program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        Program.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--kelvalog"), Temporary.filePath(QStringLiteral("k.INI"))});
        ASSERT_TRUE(Program.waitForStarted());
    }

    // The lines the window decoded are one unbroken run of those the
    // simulator sent, from the first it took to the last before it closed.
    void ExpectEveryLineSentArrived()
    {
        Simulator.terminate();
        Simulator.waitForFinished(5000);
        std::vector<std::string> Sent;
        std::istringstream SentText(
            ReadAll(Temporary.filePath(QStringLiteral("sent.txt")).toStdString()));
        for (std::string Line; std::getline(SentText, Line);)
            if (Line.starts_with("<LF>") && Line.ends_with("<CR>"))
                Sent.push_back(Line.substr(4, Line.size() - 8));
        std::vector<std::string> Decoded;
        std::istringstream DecodedText(
            ReadAll(Temporary.filePath(QStringLiteral("k.INI.lines")).toStdString()));
        for (std::string Line; std::getline(DecodedText, Line);)
            Decoded.push_back(Line);
        ASSERT_GT(Decoded.size(), 150u) << "the window took too few lines to tell";
        const auto First = std::search(Sent.begin(), Sent.end(), Decoded.begin(), Decoded.end());
        EXPECT_NE(First, Sent.end()) << Decoded.size() << " lines decoded, " << Sent.size()
                                     << " sent: some went missing or changed";
    }

    static void ReapOrphans()
    {
        int status = 0;
        while (::waitpid(-1, &status, WNOHANG) > 0) {
        }
    }

    QTemporaryDir Temporary{QStringLiteral("/tmp/kelvalog-window-XXXXXX")};
    QTemporaryDir Ports;
    QProcess Simulator;
    QProcess Program;
    TOfficeProcess Office;
    const std::string Profiles = Temporary.filePath(QStringLiteral("profiles")).toStdString();
};

TEST_F(WorksheetWindow, AVisibleWorkbookFillsAndStaysWithTheUserAfterTheProgramEnds)
{
    if (!CalcCanShowWindows())
        GTEST_SKIP() << "this office has no Calc windows (libreoffice-calc-nogui?): see "
                        "WithoutCalcWindowsTheLogCannotBeCreated";
    StartProgram();

    // The window stayed alive while the office started: its timers ran, the
    // status bar said so and the cursor showed the wait.
    const std::string Opened = ReadLineFrom(Program, 180);
    std::cout << "program: " << Opened << std::endl;
    ASSERT_EQ(Opened.rfind("opened logging=1", 0), 0u) << Opened;
    EXPECT_NE(Opened.find("busy=1"), std::string::npos) << Opened;
    EXPECT_NE(Opened.find("status=Starting LibreOffice Calc\u2026"), std::string::npos) << Opened;
    EXPECT_NE(Opened.find("boxes=0"), std::string::npos) << Opened;
    const int Ticks = std::stoi(Opened.substr(Opened.find("ticks=") + 6));
    EXPECT_GE(Ticks, 5) << "the window hardly ran while the office started";

    const std::string Stopped = ReadLineFrom(Program, 90);
    std::cout << "program: " << Stopped << std::endl;
    ASSERT_EQ(Stopped.rfind("stopped logging=0", 0), 0u) << Stopped;
    EXPECT_NE(Stopped.find("records=3"), std::string::npos) << Stopped;
    EXPECT_NE(Stopped.find("boxes=0"), std::string::npos) << Stopped;
    EXPECT_NE(Stopped.find("overruns=0"), std::string::npos) << Stopped;
    ASSERT_EQ(ReadLineFrom(Program, 10), "ready");

    // Logging is off; the office runs on with the workbook in its window.
    Office = FindOffice(Profiles);
    ASSERT_GT(Office.Pid, 0) << "no office with its profile in " << Profiles;
    ASSERT_TRUE(Alive(Office.Pid));
    Reference<css::bridge::XBridge> Bridge;
    const auto Desktop = ConnectTo(Office.Pipe, Bridge);
    auto Workbook = TheWorkbook(Desktop);
    ASSERT_TRUE(Workbook.is());
    auto Sheet = FirstSheet(Workbook);
    EXPECT_EQ(FromUno(Reference<css::container::XNamed>(Sheet, UNO_QUERY_THROW)->getName())
                  .rfind("Kelvalog ", 0),
              0u);
    EXPECT_EQ(RecordRows(Sheet), Records);
    for (int Row = 0; Row < Records; ++Row) {
        // The five channels of the 5 V board beside the date.
        int Values = 0;
        for (int Column = 1; Column <= 8; ++Column)
            Values += Sheet->getCellByPosition(Column, Row)->getType() ==
                      css::table::CellContentType_VALUE;
        EXPECT_EQ(Values, 5) << "row " << Row + 1;
    }
    const auto Frame = Workbook->getCurrentController()->getFrame();
    Reference<css::awt::XWindow2> Window(Frame->getContainerWindow(), UNO_QUERY_THROW);
    EXPECT_TRUE(Window->isVisible());
    Window->setPosSize(660, 0, 900, 560, css::awt::PosSize::POSSIZE);
    // The window as the X server has it (xwininfo comes with x11-utils).
    if (QFileInfo::exists(QStringLiteral("/usr/bin/xwininfo"))) {
        std::string Id;
        for (int i = 0; i < 50 && Id.empty(); ++i) {
            Id = MappedWindow("LibreOffice Calc");
            if (Id.empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_FALSE(Id.empty()) << "no mapped X window of LibreOffice Calc";
    }

    // The picture of the program beside the office, then the program ends.
    const QString Output = qEnvironmentVariable("KELVALOG_TEST_OUTPUT", QDir::tempPath());
    QDir().mkpath(Output);
    const QString Shot = QDir(Output).filePath(QStringLiteral("worksheet_window.png"));
    QFile::remove(Shot);
    Program.write(("shoot " + Shot.toStdString() + "\n").c_str());
    Program.waitForBytesWritten(5000);
    EXPECT_EQ(ReadLineFrom(Program, 30), "shot 1");
    EXPECT_EQ(ReadLineFrom(Program, 60), "closed overruns=0");
    ASSERT_TRUE(Program.waitForFinished(60000));
    EXPECT_EQ(Program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(Program.exitCode(), 0);
    ExpectEveryLineSentArrived();
    EXPECT_GT(QFileInfo(Shot).size(), 10000) << Shot.toStdString();
    std::cout << "screenshot: " << Shot.toStdString() << std::endl;

    // The program has gone; the office and its workbook have not.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ASSERT_TRUE(Alive(Office.Pid));
    Workbook = TheWorkbook(Desktop);
    ASSERT_TRUE(Workbook.is());
    Sheet = FirstSheet(Workbook);
    EXPECT_EQ(RecordRows(Sheet), Records);
    EXPECT_FALSE(std::filesystem::is_empty(Profiles));

    // The user ends the office without saving: its keeper removes the
    // profile, and nothing is left.
    Reference<css::util::XModifiable>(Workbook, UNO_QUERY_THROW)->setModified(false);
    try {
        Desktop->terminate();
    } catch (const css::uno::Exception&) {
        // The bridge may go down with the office.
    }
    Reference<css::lang::XComponent>(Bridge, UNO_QUERY_THROW)->dispose();
    bool Ended = false;
    for (int i = 0; i < 300 && !Ended; ++i) {
        ReapOrphans();
        Ended = !Alive(Office.Pid) && std::filesystem::is_empty(Profiles);
        if (!Ended)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(Ended) << "the office or its profile is still there: office " << Alive(Office.Pid)
                       << ", keeper " << Alive(Office.Group) << ", profiles empty "
                       << std::filesystem::is_empty(Profiles);
    ReapOrphans();
    EXPECT_FALSE(Alive(Office.Group)) << "the office's keeper is still there";
}

// A stop signal while the office starts: once the office is up, the window
// closes as usual, with its log closed, off line and its settings written.
TEST_F(WorksheetWindow, AStopSignalWhileTheOfficeStartsClosesProperly)
{
    if (!CalcCanShowWindows())
        GTEST_SKIP() << "this office has no Calc windows (libreoffice-calc-nogui?)";
    qputenv("KELVALOG_TEST_STOP_WHILE_STARTING", "1");
    StartProgram();
    qunsetenv("KELVALOG_TEST_STOP_WHILE_STARTING");
    const std::string Opened = ReadLineFrom(Program, 180);
    EXPECT_EQ(Opened.rfind("opened logging=1", 0), 0u) << Opened;
    EXPECT_EQ(ReadLineFrom(Program, 120), "ended code=0 signalled=1 logopen=0 online=0");
    ASSERT_TRUE(Program.waitForFinished(60000));
    Office = FindOffice(Profiles);
    EXPECT_EQ(Program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(Program.exitCode(), 0);
    const std::string Ini = ReadAll(Temporary.filePath(QStringLiteral("k.INI")).toStdString());
    EXPECT_NE(Ini.find("Lower range=600"), std::string::npos) << Ini;
}

// An office whose Calc has no windows (the variant without a GUI) would
// abort at the first Calc window, or fill a sheet nobody sees: the opening
// fails with the usual message, nothing is counted and nothing is left.
TEST_F(WorksheetWindow, WithoutCalcWindowsTheLogCannotBeCreated)
{
    if (CalcCanShowWindows())
        GTEST_SKIP() << "this office shows Calc windows: see "
                        "AVisibleWorkbookFillsAndStaysWithTheUserAfterTheProgramEnds";
    StartProgram();
    const std::string Opened = ReadLineFrom(Program, 120);
    EXPECT_EQ(Opened.rfind("opened logging=0", 0), 0u) << Opened;
    EXPECT_NE(Opened.find("boxes=1"), std::string::npos) << Opened;
    const std::string Failed = ReadLineFrom(Program, 30);
    EXPECT_EQ(Failed, std::string("failed box=") + LogCreateFailedText + " records=0");
    ASSERT_TRUE(Program.waitForFinished(60000));
    EXPECT_EQ(Program.exitCode(), 0);
    EXPECT_LT(FindOffice(Profiles).Pid, 0);
    EXPECT_TRUE(std::filesystem::is_empty(Profiles));
}

} // namespace
} // namespace kelvalog

int main(int argc, char* argv[])
{
    if (argc >= 3 && std::strcmp(argv[1], "--kelvalog") == 0)
        return kelvalog::RunKelvalog(argc, argv, QString::fromLocal8Bit(argv[2]));
    QCoreApplication Application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#else

TEST(WorksheetWindow, NeedsTheOfficeSdk)
{
    GTEST_SKIP() << "built without the LibreOffice SDK: no worksheet window to test";
}

int main(int argc, char* argv[])
{
    QCoreApplication Application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#endif
