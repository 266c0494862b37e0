#include "controls/attachedlabel.h"
#include "controls/buttonedit.h"
#include "controls/digitalclock.h"
#include "controls/dropdownlist.h"
#include "controls/numericfield.h"
#include "controls/panelstatusbar.h"
#include "controls/simplefield.h"
#include "controls/slider.h"
#include "controls/spinner.h"

#include "testsupport.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QMouseEvent>
#include <QToolButton>
#include <QtTest>

#include <cmath>
#include <memory>
#include <stdexcept>

using namespace kelvalog;

namespace {

void sendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), Qt::LeftButton, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

} // namespace

class ControlsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { FProbe = std::make_unique<TControlProbe>(); }
    void cleanup() { FProbe.reset(); }

    // --- slider -------------------------------------------------------
    void sliderRequestsAreQuantisedAndLimited()
    {
        TSlider s;
        int changes = 0;
        s.OnChange = [&](QObject* sender) {
            QCOMPARE(sender, &s);
            ++changes;
        };
        s.setPosition(1.4); // rounds back to the current position
        QCOMPARE(changes, 0);
        s.setPosition(2.5); // ties to even
        QCOMPARE(s.Position(), 2.0);
        s.setPosition(3.5);
        QCOMPARE(s.Position(), 4.0);
        s.setPosition(150);
        QCOMPARE(s.Position(), 99.0);
        QCOMPARE(changes, 3);
        s.setPosition(150); // limited again to 99: still a change request
        QCOMPARE(changes, 4);
        s.setPosition(99);
        QCOMPARE(changes, 4);
    }

    void sliderKeysAndWheel()
    {
        TSlider s;
        s.resize(20, 177);
        int changes = 0;
        s.OnChange = [&](QObject*) { ++changes; };
        QTest::keyClick(&s, Qt::Key_Down); // at Min: unchanged, but reported
        QCOMPARE(s.Position(), 1.0);
        QCOMPARE(changes, 1);
        QTest::keyClick(&s, Qt::Key_Up);
        QCOMPARE(s.Position(), 2.0);
        QTest::keyClick(&s, Qt::Key_Up, Qt::ShiftModifier);
        QTest::keyClick(&s, Qt::Key_Left);
        QTest::keyClick(&s, Qt::Key_Right);
        QCOMPARE(s.Position(), 2.0);
        QCOMPARE(changes, 2);
        QTest::keyClick(&s, Qt::Key_End);
        QCOMPARE(s.Position(), 99.0);
        QTest::keyClick(&s, '-');
        QCOMPARE(s.Position(), 98.0);
        QTest::keyClick(&s, '+');
        QTest::keyClick(&s, Qt::Key_Home);
        QCOMPARE(s.Position(), 1.0);

        QWheelEvent up(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 120), Qt::NoButton,
                       Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&s, &up);
        QCOMPARE(s.Position(), 2.0);
        QWheelEvent down(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -240), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&s, &down);
        QCOMPARE(s.Position(), 1.0);
    }

    void sliderThumbGeometry()
    {
        TSlider s;
        s.resize(20, 177);
        const int L = s.InnerRect().height();
        QCOMPARE(s.ThumbThickness(), 15); // 0.08 x 173 = 13.84 -> 14, even -> 15
        QCOMPARE(s.ThumbRect().bottom(), s.InnerRect().bottom());
        s.setPosition(99);
        QCOMPARE(s.ThumbRect().top(), s.InnerRect().top() + 1);
        s.resize(20, 54); // L = 50: 4 -> 5 -> at least 7
        QCOMPARE(s.ThumbThickness(), 7);
        s.resize(20, 104); // L = 100: 8 -> 9
        QCOMPARE(s.ThumbThickness(), 9);
        Q_UNUSED(L);
    }

    void sliderMouse()
    {
        QWidget window;
        auto* s = new TSlider(&window);
        s->setGeometry(0, 0, 20, 177);
        s->setMax(10); // steps of about 17 pixels
        QVERIFY(ShowActive(window));
        int changes = 0;
        s->OnChange = [&](QObject*) { ++changes; };
        const QRect thumb = s->ThumbRect();
        const QPoint grab(10, thumb.center().y());

        // Dragging by less than one step raises nothing.
        sendMouse(s, QEvent::MouseButtonPress, grab, Qt::LeftButton);
        QVERIFY(s->hasFocus());
        sendMouse(s, QEvent::MouseMove, grab - QPoint(0, 5), Qt::LeftButton);
        QCOMPARE(changes, 0);
        QCOMPARE(s->Position(), 1.0);

        // Dragging up by c pixels: Min + (Max - Min) x c / (L - t - 1).
        const int L = s->InnerRect().height();
        const int t = s->ThumbThickness();
        sendMouse(s, QEvent::MouseMove, grab - QPoint(0, 40), Qt::LeftButton);
        const double expected = std::nearbyint(1.0 + 9.0 * 40 / (L - t - 1));
        QCOMPARE(s->Position(), expected);
        QCOMPARE(changes, 1);
        sendMouse(s, QEvent::MouseMove, grab - QPoint(0, 500), Qt::LeftButton); // limited
        QCOMPARE(s->Position(), 10.0);
        sendMouse(s, QEvent::MouseButtonRelease, grab - QPoint(0, 500), Qt::NoButton);
        sendMouse(s, QEvent::MouseMove, grab, Qt::NoButton); // no longer dragging
        QCOMPARE(s->Position(), 10.0);

        // Presses beside the thumb step once each.
        const int before = changes;
        sendMouse(s, QEvent::MouseButtonPress, QPoint(10, s->ThumbRect().bottom() + 20),
                  Qt::LeftButton);
        sendMouse(s, QEvent::MouseButtonRelease, QPoint(10, s->ThumbRect().bottom() + 20),
                  Qt::NoButton);
        QCOMPARE(s->Position(), 9.0);
        sendMouse(s, QEvent::MouseButtonPress, QPoint(10, s->ThumbRect().top() - 1),
                  Qt::LeftButton);
        sendMouse(s, QEvent::MouseButtonRelease, QPoint(10, 2), Qt::NoButton);
        QCOMPARE(s->Position(), 10.0);
        QCOMPARE(changes, before + 2);
    }

    // --- spinner ------------------------------------------------------
    void spinnerStopsAtTheLimitAndReportsChangesOnly()
    {
        QWidget window;
        auto* other = new TNumericField(&window);
        other->setGeometry(0, 0, 50, 21);
        other->SetIntegerValue(1);
        auto* field = new TNumericField(&window);
        field->setPictureMask(QStringLiteral("9999999999"));
        field->setRange(1, 32767);
        field->setGeometry(0, 30, 97, 21);
        auto* spinner = new TSpinner(&window);
        spinner->setGeometry(97, 30, 16, 21);
        spinner->setFocusedControl(field);
        QVERIFY(ShowActive(window));
        other->setFocus();
        int changes = 0;
        field->OnChange = [&](QObject*) { ++changes; };

        // A never-set field reads 0: the first step up gives 1.
        QTest::mouseClick(spinner, Qt::LeftButton, {}, QPoint(8, 4));
        QVERIFY(field->hasFocus());
        QCOMPARE(field->Text(), QStringLiteral("1"));
        QCOMPARE(changes, 1);
        QTest::mouseClick(spinner, Qt::LeftButton, {}, QPoint(8, 17)); // down at 1: nothing
        QCOMPARE(field->Text(), QStringLiteral("1"));
        QCOMPARE(changes, 1);

        field->SetIntegerValue(32766);
        changes = 0;
        QTest::mousePress(spinner, Qt::LeftButton, {}, QPoint(8, 4));
        QCOMPARE(spinner->PressedHalf(), TSpinner::THalf::Up);
        QTest::qWait(700); // repeats run on: at the limit they change nothing
        QTest::mouseRelease(spinner, Qt::LeftButton, {}, QPoint(8, 4));
        QCOMPARE(field->Text(), QStringLiteral("32767"));
        QCOMPARE(changes, 1);
        QCOMPARE(spinner->PressedHalf(), TSpinner::THalf::None);

        // The step leaves no selection: typed digits are appended.
        field->SetIntegerValue(12);
        QTest::mouseClick(spinner, Qt::LeftButton, {}, QPoint(8, 4));
        QTest::keyClick(field, '5');
        QCOMPARE(field->Text(), QStringLiteral("135"));
    }

    void spinnerDoesNothingWhenTheFocusIsRefused()
    {
        QWidget window;
        auto* other = new TNumericField(&window);
        other->setRange(1, 10);
        other->setGeometry(0, 0, 50, 21);
        auto* field = new TNumericField(&window);
        field->setGeometry(0, 30, 97, 21);
        field->SetIntegerValue(5);
        auto* spinner = new TSpinner(&window);
        spinner->setGeometry(97, 30, 16, 21);
        spinner->setFocusedControl(field);
        QVERIFY(ShowActive(window));
        other->setFocus(); // never set: 0 is outside 1..10
        QTest::mouseClick(spinner, Qt::LeftButton, {}, QPoint(8, 4));
        QCOMPARE(FProbe->Messages.size(), 1);
        QVERIFY(other->hasFocus());
        QCOMPARE(field->Text(), QStringLiteral("5"));
        QCOMPARE(spinner->PressedHalf(), TSpinner::THalf::None);
    }

    void spinnerRepeatAcceleratesPausesAndReverses()
    {
        QWidget window;
        auto* field = new TNumericField(&window);
        field->setGeometry(0, 0, 97, 21);
        field->SetIntegerValue(100);
        auto* spinner = new TSpinner(&window);
        spinner->setGeometry(97, 0, 16, 21);
        spinner->setFocusedControl(field);
        std::int64_t now = 1000;
        spinner->setClock([&] { return now; });
        QVERIFY(ShowActive(window));

        sendMouse(spinner, QEvent::MouseButtonPress, QPoint(8, 4), Qt::LeftButton);
        QCOMPARE(field->GetIntegerValue(), 101);
        // Step k + 1 needs more than 200 - 10 (k - 1) ms after step k.
        int value = 101;
        for (int k = 1; k <= 20; ++k) {
            const int gap = 200 - 10 * (k - 1);
            now += gap;
            spinner->ProcessRepeat();
            QCOMPARE(field->GetIntegerValue(), value); // not yet
            now += 1;
            spinner->ProcessRepeat();
            QCOMPARE(field->GetIntegerValue(), ++value);
        }
        // From the 21st gap on: every pass.
        spinner->ProcessRepeat();
        spinner->ProcessRepeat();
        QCOMPARE(field->GetIntegerValue(), value + 2);
        value += 2;

        sendMouse(spinner, QEvent::MouseMove, QPoint(40, 4), Qt::LeftButton); // off: pause
        QCOMPARE(spinner->PressedHalf(), TSpinner::THalf::None);
        spinner->ProcessRepeat();
        QCOMPARE(field->GetIntegerValue(), value);
        sendMouse(spinner, QEvent::MouseMove, QPoint(8, 17), Qt::LeftButton); // other half
        QCOMPARE(spinner->PressedHalf(), TSpinner::THalf::Down);
        QCOMPARE(field->GetIntegerValue(), value - 1);
        sendMouse(spinner, QEvent::MouseButtonRelease, QPoint(8, 17), Qt::NoButton);
        spinner->ProcessRepeat();
        QCOMPARE(field->GetIntegerValue(), value - 1);
    }

    // --- clock --------------------------------------------------------
    void clockChangesOncePerSecond()
    {
        TDigitalClock clock;
        QTime now(23, 59, 58, 100);
        clock.SetTimeSource([&] { return now; });
        QCOMPARE(clock.sizeHint(), QSize(136, 30));
        clock.Tick();
        QCOMPARE(clock.Text(), QStringLiteral("23:59:58"));
        QCOMPARE(clock.RedrawCount(), 1);
        now = QTime(23, 59, 58, 600);
        clock.Tick();
        QCOMPARE(clock.RedrawCount(), 1);
        now = QTime(23, 59, 59, 100);
        clock.Tick();
        QCOMPARE(clock.Text(), QStringLiteral("23:59:59"));
        now = QTime(0, 0, 0, 50);
        clock.Tick();
        QCOMPARE(clock.Text(), QStringLiteral("00:00:00"));
        QCOMPARE(clock.RedrawCount(), 3);
        clock.SetSize(3);
        QCOMPARE(clock.CellSize(), QSize(34, 60));
    }

    // The digits are pictures made once: a new colour or size must not show
    // the old ones.
    void clockDrawsInItsCurrentLook()
    {
        TDigitalClock clock;
        QTime now(8, 8, 8);
        clock.SetTimeSource([&] { return now; });
        clock.SetOnColor(Qt::black);
        clock.SetBgColor(Qt::white);
        clock.SetOffColor(Qt::white);
        clock.resize(clock.sizeHint());
        clock.Tick();
        const QPoint middleOfSecond(17 + 8, 15); // the middle segment of "08"'s 8
        QCOMPARE(clock.grab().toImage().pixelColor(middleOfSecond), QColor(Qt::black));
        clock.SetOnColor(Qt::red);
        QCOMPARE(clock.grab().toImage().pixelColor(middleOfSecond), QColor(Qt::red));
        clock.SetSize(3);
        clock.resize(clock.sizeHint());
        QCOMPARE(clock.grab().toImage().pixelColor(middleOfSecond * 2), QColor(Qt::red));
        now = QTime(8, 8, 1); // the last digit loses its middle segment
        clock.Tick();
        const QPoint middleOfLast = middleOfSecond * 2 + QPoint(6 * 34, 0);
        QCOMPARE(clock.grab().toImage().pixelColor(middleOfLast), QColor(Qt::white));
    }

    // --- drop-down list ----------------------------------------------
    void dropDownListClicksOnlyForTheUser()
    {
        QWidget window;
        auto* list = new TDropDownList(&window);
        list->addItems({QStringLiteral("No filtering"), QStringLiteral("Moving Average"),
                        QStringLiteral("Low Pass")});
        list->setGeometry(0, 0, 209, 22);
        QVERIFY(ShowActive(window));
        QList<int> clicks;
        list->OnClick = [&](QObject*) { clicks << list->ItemIndex(); };

        list->setItemIndex(2);
        list->setCurrentIndex(1);
        QCoreApplication::processEvents();
        QVERIFY(clicks.isEmpty());

        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down); // closed list: one click
        QCOMPARE(clicks, QList<int>{2});

        clicks.clear();
        list->showPopup();
        QAbstractItemView* view = list->view();
        QTRY_VERIFY(view->isVisible());
        const QRect item = view->visualRect(list->model()->index(0, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
        QTRY_COMPARE(clicks, (QList<int>{0, 0})); // the change, then the close
        QCOMPARE(list->ItemIndex(), 0);

        // Closed without a pick (a click elsewhere): the close alone.
        clicks.clear();
        list->showPopup();
        QTRY_VERIFY(view->isVisible());
        view->window()->close();
        QTRY_COMPARE(clicks, QList<int>{0});
        QTest::qWait(20);
        QCOMPARE(clicks.size(), 1);
    }

    // --- button edit, simple field, label, status bar ---------------
    void buttonEditFoldsBreaksAndReportsClicks()
    {
        QCOMPARE(TButtonEdit::FoldLineBreaks(QStringLiteral("a\r\nb")), QStringLiteral("a b"));
        QCOMPARE(TButtonEdit::FoldLineBreaks(QStringLiteral("a \nb")), QStringLiteral("a b"));
        QCOMPARE(TButtonEdit::FoldLineBreaks(QStringLiteral("a\n\n b")), QStringLiteral("a b"));
        QCOMPARE(TButtonEdit::FoldLineBreaks(QStringLiteral("\nx\n")), QStringLiteral(" x "));

        QWidget window;
        auto* edit = new TButtonEdit(&window);
        edit->setGeometry(8, 16, 177, 21);
        edit->setText(QStringLiteral("C:\\log\n.slk"));
        QCOMPARE(edit->text(), QStringLiteral("C:\\log .slk"));
        QVERIFY(ShowActive(window));
        QPoint popup;
        int clicks = 0;
        edit->OnButtonClick = [&](QObject*, QPoint p) {
            ++clicks;
            popup = p;
            QVERIFY(edit->hasFocus()); // the edit takes the focus first
        };
        QVERIFY(edit->Button()->isVisible());
        QTest::mouseClick(edit->Button(), Qt::LeftButton);
        QCOMPARE(clicks, 1);
        QCOMPARE(popup, QPoint(8, 37));
    }

    void simpleFieldIsReadOnly()
    {
        QWidget window;
        auto* field = new TSimpleField(&window);
        field->setGeometry(0, 0, 113, 21);
        field->SetTextValue(QStringLiteral("  12:34:56 and then some  "));
        QCOMPARE(field->Text(), QStringLiteral("12:34:56 and th"));
        QVERIFY(ShowActive(window));
        field->setFocus();
        QTest::keyClick(field, 'x');
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClick(field, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(FProbe->Beeps, 3);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("12:34:56 and th"));
        QCOMPARE(field->Text(), QStringLiteral("12:34:56 and th"));
        QApplication::clipboard()->setText(QStringLiteral("pasted"));
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Insert, Qt::ShiftModifier);
        QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Delete);
        QCOMPARE(FProbe->Beeps, 7);
        QCOMPARE(field->Text(), QStringLiteral("12:34:56 and th"));
        QTest::keyClick(field, Qt::Key_Insert, Qt::ControlModifier); // copy, no beep
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("12:34:56 and th"));
        QCOMPARE(FProbe->Beeps, 7);
    }

    void attachedLabelFollowsItsControl()
    {
        QWidget window;
        auto* field = new TNumericField(&window);
        field->setGeometry(541, 5, 41, 21);
        auto* label = new TAttachedLabel(QStringLiteral("Pressure sensor range "), &window);
        label->resize(111, 13);
        label->setControl(field, {-117, 15, true});
        window.show();
        QCOMPARE(label->geometry(), QRect(424, 7, 111, 13));
        QCOMPARE(TAttachedLabel::LabelOf(field), label);
        QCOMPARE(field->LabelInfo().OffsetX, -117);
        field->hide();
        QVERIFY(label->isHidden());
        field->show();
        QVERIFY(!label->isHidden());
        field->move(100, 50);
        QCOMPARE(label->pos(), QPoint(100 - 117, 50 + 15 - 13));
        field->setLabelInfo({0, 0, false});
        QVERIFY(label->isHidden());
        QCOMPARE(label->pos(), QPoint(100, 50 - 13));
    }

    void statusBarPanels()
    {
        TPanelStatusBar bar;
        bar.resize(641, 19);
        auto* container = new QWidget;
        QCOMPARE(bar.AddContainerPanel(50, container), 0);
        QCOMPARE(bar.AddTextPanel(50), 1);
        QCOMPARE(container->parentWidget(), &bar);
        QCOMPARE(container->geometry(), QRect(1, 3, 48, 15));
        QCOMPARE(bar.PanelRect(1), QRect(50, 2, 591, 17)); // the last reaches the end
        bar.setPanelText(1, QStringLiteral("Data sampling parameters"));
        QCOMPARE(bar.Panel(1).Text, QStringLiteral("Data sampling parameters"));
        for (int i = 2; i < TPanelStatusBar::MaxPanels; ++i)
            bar.AddTextPanel(1);
        QVERIFY_THROWS_EXCEPTION(std::length_error, bar.AddTextPanel(1));
        QCOMPARE(bar.PanelCount(), TPanelStatusBar::MaxPanels);
    }

private:
    std::unique_ptr<TControlProbe> FProbe;
};

QTEST_MAIN(ControlsTest)
#include "controls_test.moc"
