#include "settings/formstate.h"
#include "settings/inifilestore.h"
#include "settings/screenfit.h"

#include "settingstestdir.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QtTest>

#include <memory>

using namespace kelvalog;
using kelvalog::test::ReadFile;
using kelvalog::test::TTempDir;
using kelvalog::test::WriteFile;

class FormStateTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TTempDir> Dir;
    std::string Path;
    std::unique_ptr<TIniFileStore> Store;

    static int Dpi()
    {
        QWidget Probe;
        return Probe.logicalDpiY();
    }

    QRect Screen() const { return QGuiApplication::primaryScreen()->availableGeometry(); }

    // A main window as it comes from its layout: fixed size, not yet shown.
    static std::unique_ptr<QWidget> NewWindow()
    {
        auto Window = std::make_unique<QWidget>();
        Window->setFixedSize(300, 200);
        Window->move(40, 30);
        return Window;
    }

    void WriteState(const std::string& Lines)
    {
        WriteFile(Path, "[TMainForm]\nPixelsPerInch=" + std::to_string(Dpi()) + "\n" + Lines);
    }

private slots:
    void init()
    {
        Dir = std::make_unique<TTempDir>();
        Store = std::make_unique<TIniFileStore>(Dir->File("kelvalog"));
        Path = Dir->File("kelvalog.INI");
    }
    void cleanup()
    {
        Store.reset();
        Dir.reset();
    }

    void savesAndRestoresThePosition()
    {
        {
            auto Window = NewWindow();
            TFormState State(*Window, Store.get());
            State.DoCreate();
            QVERIFY(State.Restored());
            QVERIFY(State.AutoPlacement());
            Window->move(120, 80);
            bool CanClose = true;
            State.DoCloseQuery(CanClose);
            QVERIFY(CanClose);
            QVERIFY(State.Saved());
        }
        QCOMPARE(QString::fromStdString(ReadFile(Path)),
                 QString("[TMainForm]\nFlags=0\nShowCmd=1\nNormalPos=120,80,420,280\n"
                         "PixelsPerInch=%1\nColor=-16777201\n")
                     .arg(Dpi()));

        auto Window = NewWindow();
        TFormState State(*Window, Store.get());
        State.DoCreate();
        QCOMPARE(Window->pos(), QPoint(120, 80));
        QCOMPARE(Window->size(), QSize(300, 200));
        QVERIFY(!State.AutoPlacement());
        QCOMPARE(Window->windowState(), Qt::WindowNoState);
        QCOMPARE(Store->UseCount(), 0);
    }

    void restoresOnlyThePositionFromPartialText()
    {
        WriteState("NormalPos=100 200\n");
        auto Window = NewWindow();
        TFormState State(*Window, Store.get());
        State.DoCreate();
        QCOMPARE(Window->pos(), QPoint(100, 200));
        QCOMPARE(Window->size(), QSize(300, 200));

        WriteState("NormalPos=, ,zz,150,9999,9999\n");
        auto Other = NewWindow();
        TFormState OtherState(*Other, Store.get());
        OtherState.DoCreate();
        // A non-number keeps the current left.
        QCOMPARE(Other->pos(), QPoint(40, 150));
        QCOMPARE(Other->size(), QSize(300, 200));
    }

    void showState_data()
    {
        QTest::addColumn<QString>("Stored");
        QTest::addColumn<int>("Expected");
        QTest::newRow("minimised") << "ShowCmd=2\n" << int(Qt::WindowMinimized);
        QTest::newRow("minimised, not active") << "ShowCmd=6\n" << int(Qt::WindowMinimized);
        QTest::newRow("maximised") << "ShowCmd=3\n" << int(Qt::WindowMaximized);
        QTest::newRow("other code") << "ShowCmd=7\n" << int(Qt::WindowNoState);
        QTest::newRow("not a number") << "ShowCmd=max\n" << int(Qt::WindowNoState);
        QTest::newRow("back to maximised") << "Flags=2\nShowCmd=2\n"
                                           << int(Qt::WindowMinimized | Qt::WindowMaximized);
        QTest::newRow("flags in hex") << "Flags=$2\nShowCmd=2\n"
                                      << int(Qt::WindowMinimized | Qt::WindowMaximized);
    }
    void showState()
    {
        QFETCH(QString, Stored);
        QFETCH(int, Expected);
        WriteState("NormalPos=100,100,400,300\n" + Stored.toStdString());
        auto Window = NewWindow();
        TFormState State(*Window, Store.get());
        State.DoCreate();
        QCOMPARE(int(Window->windowState()), Expected);

        // What was restored is what is saved again.
        bool CanClose = true;
        State.DoCloseQuery(CanClose);
        auto Check = NewWindow();
        TFormState CheckState(*Check, Store.get());
        CheckState.DoCreate();
        QCOMPARE(int(Check->windowState()), Expected);
    }

    void nothingRestoredWithoutPositionOrAtAnotherScale()
    {
        WriteState("ShowCmd=3\n");
        auto Window = NewWindow();
        TFormState State(*Window, Store.get());
        State.DoCreate();
        QCOMPARE(Window->windowState(), Qt::WindowNoState);
        QCOMPARE(Window->pos(), QPoint(40, 30));
        QVERIFY(State.AutoPlacement());

        WriteFile(Path, "[TMainForm]\nPixelsPerInch=" + std::to_string(Dpi() + 24) +
                            "\nNormalPos=100,100,400,300\nShowCmd=3\n");
        auto Scaled = NewWindow();
        TFormState ScaledState(*Scaled, Store.get());
        ScaledState.DoCreate();
        QCOMPARE(Scaled->windowState(), Qt::WindowNoState);
        QCOMPARE(Scaled->pos(), QPoint(40, 30));
        // The next close stores the current placement.
        QVERIFY(ScaledState.Restored());
    }

    void positionOffEveryScreenIsPulledBack()
    {
        const QRect Area = Screen();
        for (const std::string Pos :
             {"5000,5000", "-4000,-4000", "2147483647,-2147483648", "0,-190", "$7FFFFFFF,0"}) {
            WriteState("NormalPos=" + Pos + "\n");
            auto Window = NewWindow();
            TFormState State(*Window, Store.get());
            State.DoCreate();
            QVERIFY2(Area.contains(QRect(Window->pos(), Window->size())), Pos.c_str());
        }
        // A window that still shows its title bar stays where it was put.
        const QPoint Partly(Area.right() - 100, Area.top() + 10);
        WriteState("NormalPos=" + std::to_string(Partly.x()) + "," + std::to_string(Partly.y()) +
                   "\n");
        auto Window = NewWindow();
        TFormState State(*Window, Store.get());
        State.DoCreate();
        QCOMPARE(Window->pos(), Partly);
    }

    void positionInViewAcrossScreens()
    {
        const QList<QRect> Two{QRect(0, 0, 1920, 1040), QRect(1920, 0, 1280, 1000)};
        // On the second screen: kept.
        QCOMPARE(PositionInView(QRect(2500, 100, 600, 400), Two), QPoint(2500, 100));
        // The second screen unplugged: fitted into the first, at its right edge.
        QCOMPARE(PositionInView(QRect(2500, 100, 600, 400), {Two.front()}), QPoint(1320, 100));
        // Below both: onto the nearer one.
        QCOMPARE(PositionInView(QRect(3000, 1500, 600, 400), Two), QPoint(2600, 600));
        // Title bar above the top edge: moved down.
        QCOMPARE(PositionInView(QRect(100, -300, 600, 400), Two), QPoint(100, 0));
        // Larger than the screen: its top left corner shows.
        QCOMPARE(PositionInView(QRect(-50, 5000, 4000, 3000), Two), QPoint(0, 0));
        // Only a sliver of the title bar shows: too little to grab.
        QCOMPARE(PositionInView(QRect(1915, 1030, 600, 400), {Two.front()}), QPoint(1320, 640));
        QCOMPARE(PositionInView(QRect(7, 8, 9, 10), {}), QPoint(7, 8));
    }

    void hooksRunTheWindowsHandlersFirst()
    {
        WriteState("NormalPos=100,200\n");
        auto Window = NewWindow();
        TFormState State(*Window, Store.get());
        QStringList Calls;
        State.OnCreate = [&] {
            Calls << "create";
            Window->move(10, 10);
        };
        State.OnCloseQuery = [&](bool& CanClose) {
            Calls << "closequery";
            QVERIFY(CanClose);
            CanClose = false;
        };
        State.OnDestroy = [&] { Calls << "destroy"; };
        State.DoCreate();
        QCOMPARE(Window->pos(), QPoint(100, 200));

        const std::string Before = ReadFile(Path);
        bool CanClose = true;
        State.DoCloseQuery(CanClose);
        QVERIFY(!CanClose);
        QCOMPARE(ReadFile(Path), Before); // a refused close saves nothing
        QVERIFY(!State.Saved());

        State.DoDestroy();
        QVERIFY(State.Saved()); // destruction saves what closing did not
        QVERIFY(ReadFile(Path).find("Color=") != std::string::npos);
        QCOMPARE(Calls, QStringList({"create", "closequery", "destroy"}));
    }

    void saveWithoutRestoreOrTwiceDoesNothing()
    {
        {
            auto Window = NewWindow();
            TFormState State(*Window, Store.get());
            bool CanClose = true;
            State.DoCloseQuery(CanClose);
            State.DoDestroy();
            QVERIFY(!State.Saved());
        }
        QVERIFY(!std::filesystem::exists(Path));

        auto Window = NewWindow();
        TFormState State(*Window, Store.get());
        State.DoCreate();
        bool CanClose = true;
        State.DoCloseQuery(CanClose);
        WriteFile(Path, "edited after closing\n");
        State.DoDestroy();
        QCOMPARE(ReadFile(Path), std::string("edited after closing\n"));

        TFormState Inactive(*Window, Store.get());
        Inactive.Active = false;
        Inactive.DoCreate();
        QVERIFY(!Inactive.Restored());
        Inactive.DoDestroy();
        QCOMPARE(ReadFile(Path), std::string("edited after closing\n"));
    }

    void failedSaveGoesToTheErrorHandlerAndClosingGoesOn()
    {
        TIniFileStore Nowhere(Dir->File("missing/kelvalog"));
        auto Window = NewWindow();
        TFormState State(*Window, &Nowhere);
        QStringList Errors;
        State.OnError = [&](std::exception_ptr E) {
            try {
                std::rethrow_exception(E);
            } catch (const EIniFileError& Error) {
                Errors << QString::fromStdString(Error.what());
            }
        };
        State.DoCreate();
        bool CanClose = true;
        State.DoCloseQuery(CanClose);
        QVERIFY(CanClose);
        QVERIFY(!State.Saved());
        QCOMPARE(Errors, QStringList(QString::fromStdString("Unable to write to " +
                                                            Dir->File("missing/kelvalog.INI"))));
        QCOMPARE(Nowhere.UseCount(), 0);
    }

    void storeDestroyedFirstDisconnectsTheKeeper()
    {
        auto Window = NewWindow();
        TFormState State(*Window, Store.get());
        State.DoCreate();
        Store.reset();
        QVERIFY(State.Storage() == nullptr);
        QVERIFY(!State.Active);
        bool CanClose = true;
        State.DoCloseQuery(CanClose);
        State.DoDestroy();
        QVERIFY(CanClose);
    }
};

QTEST_MAIN(FormStateTest)
#include "formstate_test.moc"
