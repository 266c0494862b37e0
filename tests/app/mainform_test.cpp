// The window without a serial line: layout, hints, start-up state, the
// controls' rules per board, the value display and the settings file.

#include "app/applicationevents.h"
#include "app/mainform.h"
#include "app/messages.h"
#include "app/systemlocale.h"
#include "appfixture.h"
#include "controls/attachedlabel.h"
#include "controls/buttonedit.h"
#include "controls/dropdownlist.h"
#include "controls/numericfield.h"
#include "controls/panelstatusbar.h"
#include "controls/simplefield.h"
#include "controls/slider.h"
#include "link/ui/statuslight.h"
#include "settings/formstate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QScreen>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <stdexcept>

using namespace kelvalog;
using namespace kelvalog::test;

class TMainFormTest : public QObject
{
    Q_OBJECT

    QTemporaryDir Dir;
    QString IniPath() const { return Dir.filePath(QStringLiteral("Kelvalog.INI")); }

    static QColor Background(TNumericField* F) { return F->Color(); }
    static QColor Live(const QWidget& W) { return W.palette().color(QPalette::Base); }
    static QColor Stale(const QWidget& W) { return W.palette().color(QPalette::Button); }

private slots:
    void init() { QFile::remove(IniPath()); }

    void windowIsFixedAndEveryControlLiesInsideItsContainer()
    {
        TMainForm Form(QuickOptions(IniPath()));
        QCOMPARE(Form.windowTitle(), QStringLiteral("Kelvalog: Dravon I2C logger"));
        QCOMPARE(Form.minimumSize(), QSize(641, 365));
        QCOMPARE(Form.maximumSize(), QSize(641, 365));
        QVERIFY(!(Form.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(Form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(Form.font().pixelSize(), 11);

        for (QWidget* W : Form.findChildren<QWidget*>()) {
            QWidget* Parent = W->parentWidget();
            if (!Parent || W->isWindow() || W->objectName().isEmpty() ||
                W->objectName().startsWith(QLatin1String("qt_")) ||
                qobject_cast<QStackedWidget*>(Parent) ||
                // The last light reaches one pixel past its container by design.
                W == Form.StatusPanel().ErrorStatusLight())
                continue;
            // A page takes the size of its page control when it is shown.
            const QSize Room = Parent->objectName().startsWith(QLatin1String("TabSheet"))
                                   ? Parent->parentWidget()->size()
                                   : Parent->size();
            QVERIFY2(
                QRect(QPoint(0, 0), Room).contains(W->geometry()),
                qPrintable(W->objectName() + QStringLiteral(" leaves ") + Parent->objectName()));
        }

        for (int I = 0; I < DisplayFieldCount; ++I) {
            TNumericField* F = Form.ValuePanel().DisplayFields()[I];
            QVERIFY(F);
            QCOMPARE(F->objectName().toStdString(), FieldName(FieldAt(I)));
            QCOMPARE(F->size(), QSize(41, 21));
            QVERIFY(F->ReadOnly());
            QCOMPARE(F->PictureMask(), FieldAt(I).Row == TFieldRow::T51 ? QStringLiteral("#####")
                                                                        : QStringLiteral("###.##"));
        }
        // The drop-down lists cover the page row of their page controls, and
        // the pages' content starts below the lists.
        QVERIFY(Form.FilterPanel().FilterType()->geometry().bottom() <
                Form.FilterPanel().FilterPages()->geometry().top());
        QVERIFY(Form.LogPanel().LoggingType()->geometry().bottom() <
                Form.LogPanel().LoggingPages()->geometry().top());
        QCOMPARE(Form.TopPanel().UsedBoardComboBox()->count(), 2);
        QCOMPARE(Form.TopPanel().UsedBoardComboBox()->itemText(1), QStringLiteral("I2C (3,3V)"));
        QCOMPARE(Form.LogPanel().LoggingType()->itemText(2), QStringLiteral("Excel worksheet"));
        QCOMPARE(Form.FilterPanel().FilterType()->itemText(1), QStringLiteral("Moving Average"));
    }

    void tabFollowsTheLayoutFromTopLeft()
    {
        TMainForm Form(QuickOptions(IniPath()));
        QList<QWidget*> Chain;
        for (QWidget* W = Form.nextInFocusChain(); W != &Form; W = W->nextInFocusChain())
            if (W->focusPolicy() & Qt::TabFocus)
                Chain.append(W);
        const QList<QWidget*> Expected{Form.TopPanel().UsedBoardComboBox(),
                                       Form.TopPanel().PSensorLowerRange(),
                                       Form.TopPanel().PSensorUpperRange(),
                                       Form.SamplingPanel().SampleIntervalField(),
                                       Form.SamplingPanel().AverageSamplesCheckBox(),
                                       Form.FilterPanel().FilterType(),
                                       Form.FilterPanel().MarFilterSizeField(),
                                       Form.FilterPanel().FilterSlider(),
                                       Form.LogPanel().LoggingType(),
                                       Form.LogPanel().SylkFileEdit(),
                                       Form.LogPanel().TABFileEdit(),
                                       Form.LogPanel().IntervalField(),
                                       Form.LogPanel().LogRecordsWritten()};
        qsizetype Last = -1;
        for (QWidget* W : Expected) {
            const qsizetype At = Chain.indexOf(W);
            QVERIFY2(At > Last, qPrintable(W->objectName() + QStringLiteral(" out of order")));
            Last = At;
        }
    }

    void hintsGoToTooltipAndStatusBar()
    {
        TMainForm Form(QuickOptions(IniPath()));
        Form.TopPanel().UsedBoardComboBox()->setCurrentIndex(Board3V);
        Form.UsedBoardComboBoxClick();
        TNumericField* T31 = Form.ValuePanel().Field(TFieldRow::T31, TFieldKind::Actual);
        QCOMPARE(T31->toolTip(), QStringLiteral("IR ("));

        auto Enter = [](QWidget* W) {
            QEvent E(QEvent::Enter);
            QApplication::sendEvent(W, &E);
        };
        auto PanelText = [&] { return Form.StatusPanel().StatusBar()->Panel(1).Text; };
        Enter(T31);
        QCOMPARE(PanelText(), QStringLiteral("IR ("));
        Enter(Form.TopPanel().OnLineAction());
        QCOMPARE(Form.TopPanel().OnLineAction()->toolTip(), QStringLiteral("On line"));
        QCOMPARE(PanelText(), QStringLiteral("Switch the board on line or off line"));
        // A control without a hint of its own shows its container's.
        Enter(Form.ValuePanel().SampleGroupBox3V()->findChild<QLabel*>(QStringLiteral("Label6")));
        QCOMPARE(PanelText(), QStringLiteral("Data sampling parameters"));
        Enter(Form.LogPanel().LogRecordsWritten());
        QCOMPARE(PanelText(), QStringLiteral("Shows how many records were written to the logfile"));
    }

    void startsWithItsInitialValuesAfterTheWait()
    {
        // An event posted before the window is made must not be handled
        // during the start-up wait.
        bool Handled = false;
        QTimer::singleShot(0, [&] { Handled = true; });
        QElapsedTimer Clock;
        Clock.start();
        TMainFormOptions Options = QuickOptions(IniPath());
        Options.StartDelay = 300;
        TMainForm Form(Options);
        QVERIFY(Clock.elapsed() >= 300);
        QVERIFY(!Handled);

        QCOMPARE(Form.SamplingPanel().SampleIntervalField()->GetIntegerValue(), 2);
        QCOMPARE(Form.FilterPanel().MarFilterSizeField()->GetIntegerValue(), 1);
        QCOMPARE(Form.FilterPanel().FilterType()->ItemIndex(), 0);
        QCOMPARE(Form.FilterPanel().FilterPages()->currentIndex(), 0);
        QCOMPARE(Form.LogPanel().LoggingType()->ItemIndex(), 0);
        QCOMPARE(Form.LogPanel().LoggingPages()->currentWidget()->objectName(),
                 QStringLiteral("TabSheet4"));
        QCOMPARE(Form.FilterPanel().FilterSliderEdit()->GetIntegerValue(), 1);
        QVERIFY(!Form.SamplingPanel().WarningLabel()->isVisibleTo(&Form));
        QVERIFY(Form.SamplingPanel().AverageSamplesCheckBox()->isChecked());
        QCOMPARE(Form.TopPanel().PSensorLowerRange()->GetIntegerValue(), 600);
        QCOMPARE(Form.TopPanel().PSensorUpperRange()->GetIntegerValue(), 1025);
        QCOMPARE(Form.Board(), Board5V);
        QCOMPARE(Form.TambRhSpan, 1.0);
        QCOMPARE(Form.TambRhOffset, 0.0);
        QCOMPARE(Form.RhSpan, 1.0);
        QCOMPARE(Form.RhOffset, 0.0);
        QCOMPARE(Form.LogPanel().LogIntervalHMS()->Text(), QStringLiteral("0:00:00"));
        QVERIFY(!Form.OnLine);
        QVERIFY(!Form.TopPanel().OnLineAction()->isChecked());
        QVERIFY(!Form.TopPanel().LogOnAction()->isEnabled());
        QVERIFY(!Form.SampleTimerRunning());
    }

    void controlsFollowTheBoard_data()
    {
        QTest::addColumn<int>("Board");
        QTest::newRow("5V") << Board5V;
        QTest::newRow("3.3V") << Board3V;
        QTest::newRow("none") << -1;
    }
    void controlsFollowTheBoard()
    {
        QFETCH(int, Board);
        TMainForm Form(QuickOptions(IniPath()));
        Form.TopPanel().UsedBoardComboBox()->setCurrentIndex(Board);
        Form.UsedBoardComboBoxClick();
        const bool Is5V = Board == Board5V;
        const bool Is3V = Board == Board3V;
        QCOMPARE(Form.ValuePanel().SampleGroupBox5V()->isVisibleTo(&Form), Is5V);
        QCOMPARE(Form.ValuePanel().FilteredPanel5V()->isVisibleTo(&Form), Is5V);
        QCOMPARE(Form.ValuePanel().SampleGroupBox3V()->isVisibleTo(&Form), Is3V);
        QCOMPARE(Form.ValuePanel().FilteredPanel3V()->isVisibleTo(&Form), Is3V);
        QCOMPARE(Form.TopPanel().PSensorLowerRange()->isVisibleTo(&Form), Is5V);
        QCOMPARE(Form.TopPanel().PSensorUpperRange()->isVisibleTo(&Form), Is5V);
        QCOMPARE(Form.TopPanel().AttachedLabel23()->isVisibleTo(&Form), Is5V);
        QVERIFY(Form.TopPanel().UsedBoardComboBox()->isEnabled());
        QVERIFY(Form.SamplingPanel().GroupBox1()->isEnabled());
        QVERIFY(Form.FilterPanel().FilterBox()->isEnabled());
        QVERIFY(Form.LogPanel().LogGroup()->isEnabled());
    }

    void samplingIntervalDrivesWarningAndTimer()
    {
        TMainForm Form(QuickOptions(IniPath()));
        Form.SamplingPanel().SampleIntervalField()->SetIntegerValue(1);
        Form.IntervalFieldChange();
        QVERIFY(Form.SamplingPanel().WarningLabel()->isVisibleTo(&Form));
        Form.SamplingPanel().SampleIntervalField()->SetIntegerValue(2);
        Form.IntervalFieldChange();
        QVERIFY(!Form.SamplingPanel().WarningLabel()->isVisibleTo(&Form));

        Form.StartSampling();
        QVERIFY(Form.SampleTimerRunning());
        QCOMPARE(Form.SampleIntervalTimer.interval(), 2000);
        // While the field reads 0 (being retyped) no tick comes at all.
        Form.SamplingPanel().SampleIntervalField()->SetIntegerValue(0);
        Form.IntervalFieldChange();
        QVERIFY(!Form.SampleTimerRunning());
        Form.SamplingPanel().SampleIntervalField()->SetIntegerValue(3);
        Form.IntervalFieldChange();
        QVERIFY(Form.SampleTimerRunning());
        QCOMPARE(Form.SampleIntervalTimer.interval(), 3000);
        Form.StopSampling();
        QVERIFY(!Form.SampleTimerRunning());
        // Off, a new interval is only stored.
        Form.SamplingPanel().SampleIntervalField()->SetIntegerValue(4);
        Form.IntervalFieldChange();
        QVERIFY(!Form.SampleTimerRunning());

        Form.LogPanel().IntervalField()->SetIntegerValue(30);
        Form.IntervalFieldChange();
        QCOMPARE(Form.LogPanel().LogIntervalHMS()->Text(), QStringLiteral("0:02:00"));
    }

    void readingsAndTicksPaintTheFieldsWithTheLocaleSeparator()
    {
        TMainForm Form(QuickOptions(IniPath(), ','));
        Form.StartSampling();
        Form.StopSampling();
        for (TNumericField* F : Form.ValuePanel().DisplayFields()) {
            QCOMPARE(Background(F), Stale(Form));
            QCOMPARE(F->FloatValue(), 0.0f);
        }
        TNumericField* T52Actual = Form.ValuePanel().Field(TFieldRow::T52, TFieldKind::Actual);
        Form.AddReading(1, 21.46f);
        QCOMPARE(T52Actual->Text(), QStringLiteral("21,46"));
        QCOMPARE(Background(T52Actual), Live(Form));

        // Averaged: the tick shows the mean, the actual field the latest.
        Form.AddReading(3, 20.0f);
        Form.AddReading(3, 22.0f);
        QCOMPARE(Form.ValuePanel().Field(TFieldRow::T54, TFieldKind::Actual)->Text(),
                 QStringLiteral("22,00"));
        Form.SampleIntervalTimerTimer();
        TNumericField* T54Sampled = Form.ValuePanel().Field(TFieldRow::T54, TFieldKind::Sampled);
        TNumericField* T54Filtered = Form.ValuePanel().Field(TFieldRow::T54, TFieldKind::Filtered);
        QCOMPARE(T54Sampled->Text(), QStringLiteral("21,00"));
        QCOMPARE(T54Filtered->Text(), QStringLiteral("21,00"));
        QCOMPARE(Background(T54Sampled), Live(Form));
        QCOMPARE(Background(Form.ValuePanel().Field(TFieldRow::T51, TFieldKind::Sampled)),
                 Stale(Form));

        // A period without readings: sampled 0, filtered kept, both stale.
        Form.SampleIntervalTimerTimer();
        QCOMPARE(T54Sampled->Text(), QStringLiteral("0,00"));
        QCOMPARE(T54Filtered->Text(), QStringLiteral("21,00"));
        QCOMPARE(Background(T54Sampled), Stale(Form));
        QCOMPARE(Background(T54Filtered), Stale(Form));

        // Not averaged: the latest reading stands for the period.
        Form.SamplingPanel().AverageSamplesCheckBox()->setChecked(false);
        Form.AddReading(3, 20.0f);
        Form.AddReading(3, 22.0f);
        Form.SampleIntervalTimerTimer();
        QCOMPARE(T54Sampled->Text(), QStringLiteral("22,00"));

        // The 3.3 V board shows channel 3 in T34 and nothing of the 5 V rows.
        Form.TopPanel().UsedBoardComboBox()->setCurrentIndex(Board3V);
        Form.AddReading(3, 30.5f);
        QCOMPARE(Form.ValuePanel().Field(TFieldRow::T34, TFieldKind::Actual)->Text(),
                 QStringLiteral("30,50"));
        QCOMPARE(Form.ValuePanel().Field(TFieldRow::T54, TFieldKind::Actual)->Text(),
                 QStringLiteral("22,00"));
        SetDefaultDecimalSeparator(QLatin1Char('.'));
    }

    void settingsFileFromScratchHoldsTheTwelveKeysAndComesBack()
    {
        {
            TMainForm Form(QuickOptions(IniPath()));
            QVERIFY(Form.close());
        }
        QCOMPARE(KeysInOrder(IniPath()), TwelveKeys);
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Pressure sensor/Lower range")),
                 QStringLiteral("600"));
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Pressure sensor/Upper range")),
                 QStringLiteral("1025"));
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Board selection/Board")), QStringLiteral("0"));
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Tamb RH sensor/Span adjust")),
                 QStringLiteral("1"));
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("RH sensor/Offset adjust")),
                 QStringLiteral("0"));
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("TMainForm/Color")),
                 QStringLiteral("-16777201"));

        {
            TMainForm Form(QuickOptions(IniPath()));
            Form.TopPanel().PSensorLowerRange()->SetIntegerValue(700);
            Form.TopPanel().PSensorUpperRange()->SetIntegerValue(1100);
            Form.TopPanel().UsedBoardComboBox()->setCurrentIndex(Board3V);
            Form.RhOffset = -0.125;
            QVERIFY(Form.close());
        }
        TMainForm Again(QuickOptions(IniPath()));
        QCOMPARE(Again.TopPanel().PSensorLowerRange()->GetIntegerValue(), 700);
        QCOMPARE(Again.TopPanel().PSensorUpperRange()->GetIntegerValue(), 1100);
        QCOMPARE(Again.Board(), Board3V);
        QCOMPARE(Again.RhOffset, -0.125);
        QVERIFY(Again.ValuePanel().SampleGroupBox3V()->isVisibleTo(&Again));
    }

    void aSavedPlaceOffEveryScreenIsPulledIntoView()
    {
        {
            TMainForm Form(QuickOptions(IniPath()));
            QVERIFY(Form.close());
        }
        QStringList Lines = ReadLines(IniPath());
        for (QString& Line : Lines) {
            if (Line.startsWith(QLatin1String("NormalPos=")))
                Line = QStringLiteral("NormalPos=90000,90000,90641,90365");
        }
        WriteText(IniPath(), Lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        TMainForm Form(QuickOptions(IniPath()));
        QVERIFY(!Form.FormState->AutoPlacement()); // the stored place was taken
        const QRect Screen = Form.screen()->availableGeometry();
        QVERIFY(Screen.intersects(Form.frameGeometry()));
        QCOMPARE(Form.size(), QSize(641, 365));
    }

    void unreadableSettingsKeepTheirOwnDefaults()
    {
        WriteText(IniPath(),
                  QStringLiteral("[Pressure sensor]\nLower range=abc\nUpper range=-5\n"
                                 "[Board selection]\nBoard=5\n"
                                 "[Tamb RH sensor]\nSpan adjust=1.5\nOffset adjust=0,25\n"
                                 "[RH sensor]\nSpan adjust=abc\nOffset adjust=2,5\n"));
        {
            TMainForm Form(QuickOptions(IniPath(), ','));
            QCOMPARE(Form.TopPanel().PSensorLowerRange()->GetIntegerValue(), 600);
            QCOMPARE(Form.TopPanel().PSensorUpperRange()->Text(), QStringLiteral("-5"));
            QCOMPARE(Form.Board(), -1);
            QVERIFY(!Form.ValuePanel().SampleGroupBox5V()->isVisibleTo(&Form));
            QVERIFY(!Form.ValuePanel().SampleGroupBox3V()->isVisibleTo(&Form));
            QVERIFY(!Form.TopPanel().PSensorLowerRange()->isVisibleTo(&Form));
            // A point is read under a comma locale; an unreadable number
            // takes its own default and leaves the ones after it alone.
            QCOMPARE(Form.TambRhSpan, 1.5);
            QCOMPARE(Form.TambRhOffset, 0.25);
            QCOMPARE(Form.RhSpan, 1.0);
            QCOMPARE(Form.RhOffset, 2.5);
            QVERIFY(Form.close());
        }
        SetDefaultDecimalSeparator(QLatin1Char('.'));
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Pressure sensor/Lower range")),
                 QStringLiteral("600"));
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Pressure sensor/Upper range")),
                 QStringLiteral("0"));
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Board selection/Board")), QStringLiteral("-1"));
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Tamb RH sensor/Span adjust")),
                 QStringLiteral("1,5"));
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Tamb RH sensor/Offset adjust")),
                 QStringLiteral("0,25"));
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("RH sensor/Span adjust")),
                 QStringLiteral("abc"));
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("RH sensor/Offset adjust")),
                 QStringLiteral("2,5"));
    }

    void aFailedSettingsWriteIsShownAndTheWindowCloses()
    {
        // A file where the folder should be: nothing can be written below it.
        const QString Blocker = Dir.filePath(QStringLiteral("blocker"));
        WriteText(Blocker, QStringLiteral("x"));
        const QString Path = Blocker + QStringLiteral("/Kelvalog.INI");
        TErrorBoxes Boxes;
        TMainForm Form(QuickOptions(Path));
        Form.show();
        QVERIFY(Form.close());
        QVERIFY(!Form.isVisible());
        QCOMPARE(Boxes.Texts.size(), std::size_t(1));
        QCOMPARE(Boxes.Texts.front(), QStringLiteral("Unable to write to ") + Path);
    }

    void fileButtonsAskForTheLogFile()
    {
        TMainForm Form(QuickOptions(IniPath()));
        std::vector<TFileDialogRequest> Requests;
        std::optional<QString> Answer = QStringLiteral("/tmp/run.slk");
        SetFileDialogHook([&](const TFileDialogRequest& Request) {
            Requests.push_back(Request);
            return Answer;
        });
        Form.LogPanel().SylkFileEdit()->setText(QStringLiteral("old.slk"));
        Form.SylkFileEditButtonClick();
        QCOMPARE(Form.LogPanel().SylkFileEdit()->text(), QStringLiteral("/tmp/run.slk"));
        QCOMPARE(Requests.back().Title, QStringLiteral("Select a symbolic link file"));
        QCOMPARE(Requests.back().Initial, QStringLiteral("old.slk"));
        QCOMPARE(Requests.back().DefaultExtension, QStringLiteral("slk"));
        QCOMPARE(NameFilters(Requests.back().Filter),
                 (QStringList{QStringLiteral("symbolic link files *.slk (*.slk)"),
                              QStringLiteral("all files *.* (*)")}));

        Answer.reset();
        Form.LogPanel().TABFileEdit()->setText(QStringLiteral("keep.txt"));
        Form.TABFileEditButtonClick();
        QCOMPARE(Form.LogPanel().TABFileEdit()->text(), QStringLiteral("keep.txt"));
        QCOMPARE(Requests.back().Title, QStringLiteral("Select a text file"));
        QCOMPARE(Requests.back().DefaultExtension, QStringLiteral("txt"));
        SetFileDialogHook(nullptr);
    }

    void aLogThatCannotBeCreatedIsReported()
    {
        TErrorBoxes Boxes;
        TMainForm Form(QuickOptions(IniPath()));
        Form.LogPanel().LogRecordsWritten()->SetIntegerValue(5);
        Form.LogPanel().SylkFileEdit()->setText(QString());
        Form.LogOnActionExecute();
        QVERIFY(!Form.Logging());
        QVERIFY(!Form.TopPanel().LogOnAction()->isChecked());
        QCOMPARE(Form.LogPanel().LogRecordsWritten()->GetIntegerValue(), 0);
        QCOMPARE(Boxes.Texts.size(), std::size_t(1));
        QCOMPARE(Boxes.Texts.front(), QStringLiteral("The logfile could not be created."));
        QCOMPARE(Boxes.Kinds.front(), TMessageKind::Error);
    }

    // Logging disables its group: the focus in it goes to the window, not to
    // the next field, so a stray key changes nothing; Tab still leads on.
    void aKeyWhileLoggingChangesNoField()
    {
        TMainForm Form(QuickOptions(IniPath()));
        Form.LogPanel().LoggingType()->setItemIndex(1);
        Form.LoggingTypeClick();
        Form.LogPanel().TABFileEdit()->setText(Dir.filePath(QStringLiteral("keys.txt")));
        Form.show();
        QApplication::setActiveWindow(&Form);
        QVERIFY(QTest::qWaitForWindowActive(&Form));
        Form.LogPanel().IntervalField()->SetIntegerValue(1);
        Form.LogPanel().IntervalField()->setFocus();
        const auto Values = [&Form] {
            QStringList Texts;
            for (TNumericField* Field :
                 {Form.TopPanel().PSensorLowerRange(), Form.TopPanel().PSensorUpperRange(),
                  Form.SamplingPanel().SampleIntervalField(),
                  Form.FilterPanel().MarFilterSizeField(), Form.LogPanel().IntervalField()})
                Texts << Field->Text();
            return Texts;
        };
        const QStringList Before = Values();
        Form.LogOnActionExecute();
        QVERIFY(Form.Logging());
        QCOMPARE(QApplication::focusWidget(), &Form);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_7);
        QCOMPARE(Values(), Before);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), Form.TopPanel().UsedBoardComboBox());
        Form.LogOnActionExecute();
    }

    void localeFactsComeFromTheSystemLocale()
    {
        const TLocaleFacts German = LocaleFactsFrom(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(German.DecimalSeparator, ',');
        QVERIFY(German.TwentyFourHourClock);
        QVERIFY(German.LeadingZeroInHour);
        QCOMPARE(German.TimeSeparator, std::string(":"));
        QCOMPARE(German.LongMonthNames[2], std::string("März"));
        QCOMPARE(German.LongDayNames[0], std::string("Sonntag"));

        const TLocaleFacts American =
            LocaleFactsFrom(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(American.DecimalSeparator, '.');
        QVERIFY(!American.TwentyFourHourClock);
        QVERIFY(!American.DesignatorBeforeTime);
        QCOMPARE(American.AmDesignator, std::string("AM"));
        QCOMPARE(American.ShortDatePattern, std::string("M/d/yy"));
    }

    void anEscapedErrorTakesTheLinkOffLineSilently()
    {
        TErrorBoxes Boxes;
        TMainForm Form(QuickOptions(IniPath()));
        Form.OnLine = true;
        Form.StartSampling();
        Form.UpdateControls();
        QVERIFY(Form.TopPanel().OnLineAction()->isChecked());
        QTimer::singleShot(0, &Form, [] { throw std::runtime_error("escaped"); });
        QTRY_VERIFY(!Form.OnLine);
        QVERIFY(!Form.SampleTimerRunning());
        QVERIFY(!Form.TopPanel().OnLineAction()->isChecked());
        QVERIFY(!Form.TopPanel().LogOnAction()->isEnabled());
        QVERIFY(Boxes.Texts.empty());
    }
};

int main(int argc, char* argv[])
{
    TKelvalogApplication Application(argc, argv);
    TMainFormTest Test;
    return QTest::qExec(&Test, argc, argv);
}

#include "mainform_test.moc"
