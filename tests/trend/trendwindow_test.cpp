// The trend as the user meets it: the top bar's toggle, the window and its
// plots, lines from the board simulator with a filter on, gaps, the pause,
// the read-out under the pointer, the picture and the settings file.

#include "acquisition/trendstore.h"
#include "app/mainform.h"
#include "appfixture.h"
#include "boardlines.h"
#include "controls/dropdownlist.h"
#include "controls/numericfield.h"
#include "controls/slider.h"
#include "plotpoints.h"
#include "trend/trendplot.h"
#include "trend/trendwindow.h"

#include <QAbstractAxis>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QValueAxis>

#include <cmath>
#include <memory>

using namespace kelvalog;
using namespace kelvalog::test;

namespace {

constexpr std::int64_t Start = 1'767'225'600'000; // a new year's midnight, UTC

QStringList Names(const TTrendPlot* Plot)
{
    QStringList Out;
    for (QAbstractSeries* S : Plot->chart()->series())
        Out << S->name();
    return Out;
}

QStringList Titles(const TTrendWindow* Window)
{
    QStringList Out;
    for (const TTrendPlot* Plot : Window->Plots())
        Out << Plot->ValueAxis()->titleText();
    return Out;
}

// Pixels of roughly a colour in a picture.
int CountColour(const QImage& Image, const QColor& Colour)
{
    int Count = 0;
    for (int Y = 0; Y < Image.height(); ++Y)
        for (int X = 0; X < Image.width(); ++X) {
            const QColor C = Image.pixelColor(X, Y);
            if (std::abs(C.red() - Colour.red()) < 24 &&
                std::abs(C.green() - Colour.green()) < 24 &&
                std::abs(C.blue() - Colour.blue()) < 24)
                ++Count;
        }
    return Count;
}

} // namespace

class TTrendWindowTest : public QObject
{
    Q_OBJECT

    QTemporaryDir Dir;
    std::int64_t Now = Start;

    QString IniPath() const { return Dir.filePath(QStringLiteral("Kelvalog.INI")); }

    std::unique_ptr<TMainForm> NewForm(char Separator = '.')
    {
        TMainFormOptions Options = QuickOptions(IniPath(), Separator);
        Options.TrendClock = [this] { return Now; };
        auto Form = std::make_unique<TMainForm>(Options);
        Form->show();
        return Form;
    }

    // One sampling interval of the board: its lines, then the tick.
    static void Interval(TMainForm& Form, TBoardLineGenerator& Board, int Lines)
    {
        for (int I = 0; I < Lines; ++I) {
            Board.Drift();
            Form.DataPacketStringPacket(Board.Record());
        }
        Form.SampleIntervalTimerTimer();
    }

private slots:
    void init()
    {
        QFile::remove(IniPath());
        Now = Start;
    }

    void theToggleShowsAndHidesTheWindowWithThePlotsOfTheBoard()
    {
        auto Form = NewForm();
        Form->show();
        QToolButton* Toggle = Form->TopPanel().TrendAction();
        QVERIFY(Toggle);
        QCOMPARE(Toggle->parentWidget(), static_cast<QWidget*>(Form->TopPanel().Panel1()));
        QCOMPARE(Toggle->geometry(), QRect(366, 4, 56, 22));
        QCOMPARE(Toggle->text(), QStringLiteral("&Trend"));
        QCOMPARE(Toggle->toolTip(), QStringLiteral("Trend"));
        QVERIFY(Toggle->isCheckable());
        QVERIFY(!Form->TrendWindow()); // made when first asked for

        QTest::mouseClick(Toggle, Qt::LeftButton);
        TTrendWindow* Window = Form->TrendWindow();
        QVERIFY(Window);
        QVERIFY(Window->isVisible());
        QVERIFY(Window->isWindow());
        QVERIFY(Toggle->isChecked());
        QCOMPARE(Window->windowTitle(), QStringLiteral("Kelvalog: Trend"));
        QCOMPARE(Titles(Window), (QStringList{QStringLiteral("Pressure (mbar)"),
                                              QString::fromUtf8("Temperatures (°C)")}));
        QCOMPARE(Names(Window->Plots()[0]), QStringList{QStringLiteral("Pressure")});
        QCOMPARE(Names(Window->Plots()[1]),
                 (QStringList{QString::fromUtf8("Tobj (°C)"), QString::fromUtf8("Tamb (°C)"),
                              QString::fromUtf8("T1 (°C)"), QString::fromUtf8("T2 (°C)")}));
        QCOMPARE(Window->SpanList->count(), 5);
        QCOMPARE(Window->SpanList->itemText(4), QStringLiteral("All"));
        QCOMPARE(Window->SavePictureButton->text(), QString::fromUtf8("Save picture…"));

        // Its own close box lets the button up; the button brings it back.
        QVERIFY(Window->close());
        QVERIFY(!Toggle->isChecked());
        QTest::mouseClick(Toggle, Qt::LeftButton);
        QVERIFY(Window->isVisible());
        QVERIFY(Toggle->isChecked());

        // Another board, other kinds.
        Form->TopPanel().UsedBoardComboBox()->setCurrentIndex(Board3V);
        emit Form->TopPanel().UsedBoardComboBox()->activated(Board3V);
        QCOMPARE(Titles(Window), (QStringList{QString::fromUtf8("Temperatures (°C)"),
                                              QStringLiteral("Relative humidity (%)")}));
        QCOMPARE(Names(Window->Plots()[1]), QStringList{QStringLiteral("RH(%)")});
        QCOMPARE(Names(Window->Plots()[0]).size(), 5);

        QTest::mouseClick(Toggle, Qt::LeftButton);
        QVERIFY(!Window->isVisible());
        QVERIFY(!Toggle->isChecked());

        // The button's caption fits beside its glyph.
        QVERIFY(Toggle->fontMetrics().horizontalAdvance(QStringLiteral("Trend")) + 16 + 4 <=
                Toggle->width() - 6);
        const QByteArray OutDir = qgetenv("KELVALOG_TEST_OUTPUT");
        if (!OutDir.isEmpty()) {
            QDir().mkpath(QString::fromLocal8Bit(OutDir));
            Form->grab().save(QString::fromLocal8Bit(OutDir) +
                              QStringLiteral("/mainform_trend_button.png"));
        }
    }

    void boardLinesWithAFilterBecomeLinesWithGapsAndAPicture()
    {
        auto Form = NewForm();
        Form->SamplingPanel().SampleIntervalField()->SetIntegerValue(2);
        Form->FilterPanel().FilterType()->setItemIndex(2); // low pass
        Form->FilterTypeClick();
        Form->FilterPanel().FilterSlider()->setPosition(95);
        TBoardLineGenerator Board(TBoardKind::I2c5V, 20260101);
        auto Run = [&](int Ticks) {
            for (int I = 0; I < Ticks; ++I) {
                Now += 2000;
                Interval(*Form, Board, 2);
            }
        };
        Form->StartSampling();
        Form->StopSampling(); // the ticks are driven here, not by the timer
        Run(1800);            // one hour
        // The IR sensor drops out for ten minutes.
        Board.WithIr = false;
        Run(300);
        Board.WithIr = true;
        Run(900);
        // Off line for twenty minutes, then on again.
        Now += 20 * 60 * 1000;
        Form->StartSampling();
        Form->StopSampling();
        Run(1800);
        QCOMPARE(Form->TrendStore().TickCount(), std::uint64_t(4800));

        const TTrendStore& Store = Form->TrendStore();
        const std::int64_t InDropout = Start + (1800 + 150) * 2000;
        const std::int64_t OffLine = Start + 3000 * 2000 + 10 * 60 * 1000;
        QVERIFY(Store.ValueAt(0, TTrendSeries::Sample, InDropout)); // pressure went on
        QVERIFY(!Store.ValueAt(1, TTrendSeries::Sample, InDropout));
        QVERIFY(!Store.ValueAt(0, TTrendSeries::Sample, OffLine));
        QVERIFY(Store.ValueAt(0, TTrendSeries::Filtered, Now));
        QVERIFY(!Store.ValueAt(5, TTrendSeries::Sample, Now)); // not on this board

        // Opened afterwards: it shows what was collected meanwhile.
        QTest::mouseClick(Form->TopPanel().TrendAction(), Qt::LeftButton);
        TTrendWindow* Window = Form->TrendWindow();
        Window->resize(1200, 760);
        Window->SetSpan(0); // "All"
        QVERIFY(QTest::qWaitForWindowExposed(Window));
        QApplication::processEvents();
        QCOMPARE(Window->ViewTo(), Now);
        QCOMPARE(Window->ViewFrom(), Start + 2000);
        for (const TTrendPlot* Plot : Window->Plots()) {
            QVERIFY(PointCount(*Plot) > 0);
            // At most two points a column and a line, plus breaks and ends.
            const auto Lines = Plot->Spec().Channels.size() * 2;
            QVERIFY(PointCount(*Plot) <= Lines * (2 * 1200 + 8));
        }

        const QByteArray OutDir = qgetenv("KELVALOG_TEST_OUTPUT");
        const QString Folder = OutDir.isEmpty() ? Dir.path() : QString::fromLocal8Bit(OutDir);
        QDir().mkpath(Folder);
        const QString Png = Folder + QStringLiteral("/trend_5v_lowpass.png");
        QFile::remove(Png);
        QVERIFY(Window->SavePicture(Png));
        QImage Picture(Png);
        QVERIFY(!Picture.isNull());
        QVERIFY(Picture.width() >= 1100);
        // Every channel's own colour is on the picture.
        for (const TTrendPlot* Plot : Window->Plots())
            for (const TTrendChannel& Channel : Plot->Spec().Channels)
                QVERIFY2(CountColour(Picture, Channel.Colour) > 200, qPrintable(Channel.Name));
    }

    void pauseHoldsTheViewAndTheReadOutFollowsThePointer()
    {
        auto Form = NewForm(',');
        QTest::mouseClick(Form->TopPanel().TrendAction(), Qt::LeftButton);
        TTrendWindow* Window = Form->TrendWindow();
        Window->SetSpan(600);
        TBoardLineGenerator Board(TBoardKind::I2c5V, 7);
        Form->StartSampling();
        Form->StopSampling();
        for (int I = 0; I < 100; ++I) {
            Now += 2000;
            Interval(*Form, Board, 1);
        }
        QCOMPARE(Window->ViewTo(), Now);
        QCOMPARE(Window->ViewFrom(), Now - 600'000);

        QTest::mouseClick(Window->PauseButton, Qt::LeftButton);
        QVERIFY(Window->Paused());
        const std::int64_t Held = Window->ViewTo();
        for (int I = 0; I < 10; ++I) {
            Now += 2000;
            Interval(*Form, Board, 1);
        }
        QCOMPARE(Window->ViewTo(), Held);
        QCOMPARE(Form->TrendStore().TickCount(), std::uint64_t(110));
        QTest::mouseClick(Window->PauseButton, Qt::LeftButton);
        QCOMPARE(Window->ViewTo(), Now);

        // The read-out of a tick: every channel, the locale's separator, a dash
        // for the channels without a value.
        const std::int64_t Tick = Start + 50 * 2000;
        const QString Text = Window->ReadOutText(Tick);
        const auto& Readings = Form->TrendStore();
        const float Pressure = Readings.ValueAt(0, TTrendSeries::Sample, Tick)->Min;
        QVERIFY2(Text.startsWith(QDateTime::fromMSecsSinceEpoch(Tick).toString(
                     QStringLiteral("yyyy-MM-dd HH:mm:ss"))),
                 qPrintable(Text));
        QVERIFY2(Text.contains(QStringLiteral("Pressure ") +
                               QString::number(double(Pressure), 'f', 2)
                                   .replace(QLatin1Char('.'), QLatin1Char(','))),
                 qPrintable(Text));
        QVERIFY(!Text.contains(QLatin1Char('.')));

        // Pointing into a plot shows the values at that time.
        Window->resize(800, 500);
        Window->show();
        QVERIFY(QTest::qWaitForWindowExposed(Window));
        TTrendPlot* Plot = Window->Plots()[1];
        const QRectF Area = Plot->chart()->plotArea();
        const QPoint Inside = Plot->mapFromScene(Plot->chart()->mapToScene(Area.center()));
        QMouseEvent Move(QEvent::MouseMove, QPointF(Inside),
                         QPointF(Plot->viewport()->mapToGlobal(Inside)), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(Plot->viewport(), &Move);
        QVERIFY(!Window->ReadOut->text().isEmpty());
        QVERIFY2(Window->ReadOut->text().contains(QString::fromUtf8("Tobj (°C) ")),
                 qPrintable(Window->ReadOut->text()));
    }

    void settingsKeepTheirOwnSectionAndLeaveTheOldKeysAlone()
    {
        // Without the trend the file is as it always was.
        {
            auto Form = NewForm();
            QVERIFY(Form->close());
        }
        QCOMPARE(KeysInOrder(IniPath()), TwelveKeys);
        QFile Plain(IniPath());
        QVERIFY(Plain.open(QIODevice::ReadOnly));
        const QByteArray Before = Plain.readAll();
        Plain.close();

        {
            auto Form = NewForm();
            QTest::mouseClick(Form->TopPanel().TrendAction(), Qt::LeftButton);
            TTrendWindow* Window = Form->TrendWindow();
            Window->SetSpan(8 * 3600);
            Window->move(40, 50);
            Window->resize(700, 450);
            QVERIFY(Form->close());
            QVERIFY(!Window->isVisible());
        }
        QFile After(IniPath());
        QVERIFY(After.open(QIODevice::ReadOnly));
        const QByteArray Text = After.readAll();
        QVERIFY2(Text.startsWith(Before), Text.constData());
        QCOMPARE(KeysInOrder(IniPath()).mid(0, 12), TwelveKeys);
        QCOMPARE(KeysInOrder(IniPath()).mid(12),
                 (QStringList{QStringLiteral("Trend/Shown"), QStringLiteral("Trend/Span"),
                              QStringLiteral("Trend/Left"), QStringLiteral("Trend/Top"),
                              QStringLiteral("Trend/Width"), QStringLiteral("Trend/Height")}));
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Trend/Shown")), QStringLiteral("1"));
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Trend/Span")), QStringLiteral("28800"));
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Trend/Width")), QStringLiteral("700"));

        // The next start brings it back as it was.
        {
            auto Form = NewForm();
            TTrendWindow* Window = Form->TrendWindow();
            QVERIFY(Window);
            QVERIFY(Window->isVisible());
            QVERIFY(Form->TopPanel().TrendAction()->isChecked());
            QCOMPARE(Window->Span(), 8 * 3600);
            QCOMPARE(Window->size(), QSize(700, 450));
            QCOMPARE(Window->pos(), QPoint(40, 50));
            // Hidden by the user: stays hidden next time, the place is kept.
            Window->close();
            QVERIFY(Form->close());
        }
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Trend/Shown")), QStringLiteral("0"));
        {
            auto Form = NewForm();
            QVERIFY(!Form->TrendWindow());
            QVERIFY(!Form->TopPanel().TrendAction()->isChecked());
            QVERIFY(Form->close());
        }
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Trend/Span")), QStringLiteral("28800"));
        QCOMPARE(ValueOf(IniPath(), QStringLiteral("Trend/Left")), QStringLiteral("40"));

        // Nonsense in the section falls back to the defaults.
        QString Edited = QString::fromUtf8(Text);
        Edited.replace(QStringLiteral("Span=28800"), QStringLiteral("Span=77"));
        Edited.replace(QStringLiteral("Width=700"), QStringLiteral("Width=abc"));
        WriteText(IniPath(), Edited);
        auto Form = NewForm();
        QVERIFY(Form->TrendWindow());
        QCOMPARE(Form->TrendWindow()->Span(), 3600);
        QCOMPARE(Form->TrendWindow()->size(), QSize(900, 600));
    }
};

QTEST_MAIN(TTrendWindowTest)
#include "trendwindow_test.moc"
