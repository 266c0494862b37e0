#include "controls/numericfield.h"

#include "testsupport.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace kelvalog;

namespace {

struct TForm
{
    QWidget Window;
    TNumericField* SampleInterval = nullptr; // "iiiiiiiiiii", 1..1000
    TNumericField* Interval = nullptr;       // "9999999999", 1..32767, never set
    TNumericField* Lower = nullptr;          // "iiiiiiiiiii", full range
    TNumericField* Records = nullptr;        // read-only display of a count
    TNumericField* Display = nullptr;        // float "###.##"
    int Changes = 0;

    TForm()
    {
        Window.resize(300, 200);
        SampleInterval = make(10, 1, 1000);
        SampleInterval->SetIntegerValue(1);
        Interval = make(40, 1, 32767);
        Interval->setPictureMask(QStringLiteral("9999999999"));
        Lower = make(70, -2147483648.0, 2147483647.0);
        Lower->SetIntegerValue(0);
        Records = make(100, 0, 2147483647.0);
        Records->setPictureMask(QStringLiteral("9999999999"));
        Records->setReadOnly(true);
        Display = make(130, -3.4e38, 3.4e38);
        Display->setDataType(TNumericDataType::nftSingle);
        Display->setPictureMask(QStringLiteral("###.##"));
        Display->setReadOnly(true);
        for (TNumericField* f : {SampleInterval, Interval, Lower, Records, Display})
            f->OnChange = [this](QObject*) { ++Changes; };
    }

    TNumericField* make(int y, double low, double high)
    {
        auto* f = new TNumericField(&Window);
        f->setGeometry(10, y, 89, 21);
        f->setRange(low, high);
        return f;
    }
};

void typeText(QWidget* w, const QString& text)
{
    for (QChar c : text)
        QTest::keyClick(w, c.toLatin1());
}

} // namespace

class NumericFieldTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        FForm = std::make_unique<TForm>();
        QVERIFY(ShowActive(FForm->Window));
        FProbe = std::make_unique<TControlProbe>();
    }
    void cleanup()
    {
        FProbe.reset();
        FForm.reset();
    }

    void programValuesShowWithoutEvents()
    {
        TForm& f = *FForm;
        QCOMPARE(f.Interval->Text(), QString()); // never set
        QCOMPARE(f.Interval->GetIntegerValue(), 0);
        f.Records->SetIntegerValue(12345);
        QCOMPARE(f.Records->Text(), QStringLiteral("12345"));
        QCOMPARE(f.Records->GetIntegerValue(), 12345);
        f.Display->SetFloatValue(-5.2);
        QCOMPARE(f.Display->Text(), QStringLiteral("-5.20"));
        f.Display->SetFloatValue(1234.5);
        QCOMPARE(f.Display->Text(), QStringLiteral("234.50"));
        QCOMPARE(f.Display->FloatValue(), 1234.5f); // stored value kept whole
        f.SampleInterval->SetIntegerValue(5000);    // no range test on a set
        QCOMPARE(f.SampleInterval->Text(), QStringLiteral("5000"));
        QCOMPARE(f.SampleInterval->GetIntegerValue(), 0); // but reads 0 outside it
        QCOMPARE(f.Changes, 0);
    }

    void separatorPerFieldOrProcessWide()
    {
        TForm& f = *FForm;
        SetDefaultDecimalSeparator(QLatin1Char(','));
        f.Display->SetFloatValue(21.46);
        QCOMPARE(f.Display->Text(), QStringLiteral("21,46"));
        SetDefaultDecimalSeparator(QLatin1Char('.'));
        f.Display->setDecimalSeparator(QChar(0x066B)); // outside Latin-1
        QCOMPARE(f.Display->Text(), QString(QStringLiteral("21") + QChar(0x066B) + "46"));
    }

    void typingLikeACalculator()
    {
        TForm& f = *FForm;
        f.Interval->SetIntegerValue(55);
        f.Interval->setFocus();
        QVERIFY(f.Interval->hasFocus());
        QVERIFY(f.Interval->Selected());
        QCOMPARE(f.Interval->TypingBuffer(), QStringLiteral("55"));
        QTest::keyClick(f.Interval, Qt::Key_Backspace); // selected: empties
        QCOMPARE(f.Interval->Text(), QString());
        QCOMPARE(f.Interval->GetIntegerValue(), 0);
        typeText(f.Interval, QStringLiteral("007"));
        QCOMPARE(f.Interval->Text(), QStringLiteral("7"));
        QCOMPARE(f.Interval->TypingBuffer(), QStringLiteral("7"));
        QCOMPARE(FProbe->Beeps, 0);
        QCOMPARE(f.Changes, 4);

        QTest::keyClick(f.Interval, '-'); // "9" positions take no sign
        QCOMPARE(FProbe->Beeps, 1);
        QCOMPARE(f.Interval->Text(), QStringLiteral("7"));
        QTest::keyClick(f.Interval, ' ');
        QTest::keyClick(f.Interval, 'a');
        QCOMPARE(FProbe->Beeps, 3);
        QCOMPARE(f.Changes, 4);

        typeText(f.Interval, QStringLiteral("123456789")); // 10 digits fill it
        QCOMPARE(f.Interval->Text(), QStringLiteral("7123456789"));
        QTest::keyClick(f.Interval, '1');
        QCOMPARE(FProbe->Beeps, 4);
        QCOMPARE(f.Interval->Text(), QStringLiteral("7123456789"));

        QTest::keyClick(f.Interval, Qt::Key_Backspace);
        QTest::keyClick(f.Interval, Qt::Key_Delete);
        QCOMPARE(f.Interval->Text(), QStringLiteral("71234567"));
    }

    void minusNeedsAFreePosition()
    {
        TForm& f = *FForm;
        f.Lower->setFocus();
        typeText(f.Lower, QStringLiteral("1234567890"));
        QTest::keyClick(f.Lower, '-'); // 10 digits + sign = 11 positions
        QCOMPARE(f.Lower->Text(), QStringLiteral("-1234567890"));
        QTest::keyClick(f.Lower, '1'); // no room beside the sign
        QCOMPARE(FProbe->Beeps, 1);
        QTest::keyClick(f.Lower, '-'); // back to positive
        QTest::keyClick(f.Lower, '1');
        QCOMPARE(f.Lower->Text(), QStringLiteral("12345678901"));
        QTest::keyClick(f.Lower, '-'); // all 11 positions are digits
        QCOMPARE(FProbe->Beeps, 2);
        QCOMPARE(f.Lower->NegativeFlag(), false);
        // Too big for 32 bits: refused on leaving as not a number.
        f.SampleInterval->setFocus();
        QCOMPARE(FProbe->Messages,
                 QStringList{QStringLiteral("Value is not valid for this field type")});
        QVERIFY(f.Lower->hasFocus());
    }

    void minusOnSelectedFieldThenLeaving()
    {
        TForm& f = *FForm;
        f.SampleInterval->setFocus();
        QTest::keyClick(f.SampleInterval, '-');
        QCOMPARE(f.SampleInterval->Text(), QStringLiteral("-0"));
        QTest::keyClick(f.SampleInterval, '5');
        QCOMPARE(f.SampleInterval->Text(), QStringLiteral("-5"));
        QTest::keyClick(f.SampleInterval, Qt::Key_Tab);
        QCOMPARE(FProbe->Messages,
                 QStringList{QStringLiteral("Value is not within required range")});
        QVERIFY(f.SampleInterval->hasFocus());
        QCOMPARE(f.SampleInterval->Text(), QStringLiteral("-5")); // kept as typed
        QVERIFY(f.SampleInterval->Selected());
        QCOMPARE(f.SampleInterval->RestoreValue(), QStringLiteral("-5"));
        QCOMPARE(f.SampleInterval->GetIntegerValue(), 0);
        // Corrected content is accepted and shown in its normal form.
        QTest::keyClick(f.SampleInterval, '8');
        f.Lower->setFocus();
        QCOMPARE(FProbe->Messages.size(), 1);
        QVERIFY(f.Lower->hasFocus());
        QCOMPARE(f.SampleInterval->GetIntegerValue(), 8);
    }

    void neverSetOrEmptiedFieldRefusesToLetGo()
    {
        TForm& f = *FForm;
        f.Interval->setFocus();
        f.Lower->setFocus();
        QCOMPARE(FProbe->Messages,
                 QStringList{QStringLiteral("Value is not within required range")});
        QVERIFY(f.Interval->hasFocus());
        QCOMPARE(f.Changes, 0);

        typeText(f.Interval, QStringLiteral("12"));
        f.Lower->setFocus();
        QVERIFY(f.Lower->hasFocus());
        QCOMPARE(f.Interval->GetIntegerValue(), 12);

        f.Interval->setFocus();
        QTest::keyClick(f.Interval, Qt::Key_Delete);
        QCOMPARE(f.Interval->GetIntegerValue(), 0);
        f.Lower->setFocus();
        QCOMPARE(FProbe->Messages.size(), 2);
        QVERIFY(f.Interval->hasFocus());
    }

    void onlyOneMessageAtATime()
    {
        TForm& f = *FForm;
        // Both fields are invalid; leaving the first for the second must
        // not make the second complain while the focus passes through it.
        f.SampleInterval->setFocus();
        typeText(f.SampleInterval, QStringLiteral("1500"));
        QCOMPARE(f.SampleInterval->GetIntegerValue(), 0);
        f.Interval->setFocus();
        QCOMPARE(FProbe->Messages.size(), 1);
        QVERIFY(f.SampleInterval->hasFocus());
        QCOMPARE(f.SampleInterval->Text(), QStringLiteral("1500"));
    }

    void validLeaveNormalisesContent()
    {
        TForm& f = *FForm;
        f.Lower->setFocus();
        QTest::keyClick(f.Lower, '-');
        QCOMPARE(f.Lower->Text(), QStringLiteral("-0"));
        f.SampleInterval->setFocus();
        QVERIFY(FProbe->Messages.isEmpty());
        QCOMPARE(f.Lower->Text(), QStringLiteral("0"));
    }

    void navigationKeysKeepTheCaretAtTheEnd()
    {
        TForm& f = *FForm;
        f.SampleInterval->SetIntegerValue(12);
        f.SampleInterval->setFocus();
        for (Qt::Key key : {Qt::Key_Left, Qt::Key_Home, Qt::Key_Up, Qt::Key_PageDown}) {
            QTest::keyClick(f.SampleInterval, Qt::Key_End, Qt::ShiftModifier);
            QVERIFY(f.SampleInterval->Selected());
            QTest::keyClick(f.SampleInterval, key);
            QVERIFY(!f.SampleInterval->Selected());
        }
        QVERIFY(f.SampleInterval->hasFocus()); // Up/Down move nowhere
        QTest::keyClick(f.SampleInterval, '3');
        QCOMPARE(f.SampleInterval->Text(), QStringLiteral("123"));
        QTest::keyClick(f.SampleInterval, Qt::Key_Return);
        QTest::keyClick(f.SampleInterval, Qt::Key_Escape);
        QCOMPARE(FProbe->Beeps, 2);
        QCOMPARE(f.SampleInterval->Text(), QStringLiteral("123"));
        QTest::keyClick(f.SampleInterval, Qt::Key_Insert);
        QVERIFY(!f.SampleInterval->InsertCaret());
        QTest::keyClick(f.SampleInterval, '4');
        QCOMPARE(f.SampleInterval->Text(), QStringLiteral("1234"));
    }

    void clipboardAndRestore()
    {
        TForm& f = *FForm;
        QClipboard* clip = QApplication::clipboard();
        f.SampleInterval->SetIntegerValue(42);
        f.Lower->setFocus();
        f.SampleInterval->setFocus();
        QCOMPARE(f.SampleInterval->RestoreValue(), QStringLiteral("42"));
        QTest::keyClick(f.SampleInterval, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clip->text(), QStringLiteral("42"));

        clip->setText(QStringLiteral("1x2 3"));
        QTest::keyClick(f.SampleInterval, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(f.SampleInterval->Text(), QStringLiteral("123"));
        QCOMPARE(FProbe->Beeps, 0); // refused characters skipped quietly
        QCOMPARE(f.Changes, 1);

        QTest::keyClick(f.SampleInterval, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(f.SampleInterval->Text(), QStringLiteral("42"));
        QVERIFY(f.SampleInterval->Selected());
        QCOMPARE(f.Changes, 2);
        typeText(f.SampleInterval, QStringLiteral("9")); // selection replaced
        QCOMPARE(f.SampleInterval->Text(), QStringLiteral("9"));

        QTest::keyClick(f.SampleInterval, Qt::Key_Home, Qt::ShiftModifier);
        QTest::keyClick(f.SampleInterval, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(clip->text(), QStringLiteral("9"));
        QCOMPARE(f.SampleInterval->Text(), QString());
        QCOMPARE(f.Changes, 4);
    }

    void secondChordsDoTheSameAsTheFirst()
    {
        TForm& f = *FForm;
        QClipboard* clip = QApplication::clipboard();
        f.SampleInterval->SetIntegerValue(42);
        f.Lower->setFocus();
        f.SampleInterval->setFocus();
        QTest::keyClick(f.SampleInterval, Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(clip->text(), QStringLiteral("42"));
        QVERIFY(f.SampleInterval->InsertCaret()); // Ctrl+Insert copies only
        clip->setText(QStringLiteral("7"));
        QTest::keyClick(f.SampleInterval, Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(f.SampleInterval->Text(), QStringLiteral("7"));
        QTest::keyClick(f.SampleInterval, Qt::Key_Backspace, Qt::AltModifier);
        QCOMPARE(f.SampleInterval->Text(), QStringLiteral("42"));
        QVERIFY(f.SampleInterval->Selected());
        QTest::keyClick(f.SampleInterval, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(f.SampleInterval->Text(), QString());
        QCOMPARE(f.Changes, 3);
        // Without a selection a cut removes nothing.
        clip->setText(QStringLiteral("x"));
        typeText(f.SampleInterval, QStringLiteral("5"));
        QTest::keyClick(f.SampleInterval, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(f.SampleInterval->Text(), QStringLiteral("5"));
        QCOMPARE(clip->text(), QStringLiteral("x"));
        QCOMPARE(f.Changes, 4);
        QTest::keyClick(f.SampleInterval, Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(f.SampleInterval->Selected());
        QCOMPARE(FProbe->Beeps, 0);

        f.Records->SetIntegerValue(77);
        f.Records->setFocus();
        QTest::keyClick(f.Records, Qt::Key_Insert, Qt::ShiftModifier);
        QTest::keyClick(f.Records, Qt::Key_Backspace, Qt::AltModifier);
        QTest::keyClick(f.Records, Qt::Key_Delete);
        QTest::keyClick(f.Records, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(FProbe->Beeps, 4);
        QCOMPARE(clip->text(), QStringLiteral("77"));
        QCOMPARE(f.Records->Text(), QStringLiteral("77"));
        QCOMPARE(f.Changes, 4);
    }

    void readOnlyFieldCopiesButNeverChanges()
    {
        TForm& f = *FForm;
        f.Records->SetIntegerValue(77);
        f.Records->setFocus();
        QVERIFY(f.Records->Selected());
        typeText(f.Records, QStringLiteral("5"));
        QTest::keyClick(f.Records, Qt::Key_Backspace);
        QTest::keyClick(f.Records, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(f.Records, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(FProbe->Beeps, 4);
        QTest::keyClick(f.Records, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(FProbe->Beeps, 5);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("77"));
        QCOMPARE(f.Records->Text(), QStringLiteral("77"));
        // A read-only field lets the focus go without a test.
        f.Records->SetIntegerValue(-1);
        f.Lower->setFocus();
        QVERIFY(f.Lower->hasFocus());
        QVERIFY(FProbe->Messages.isEmpty());
        QCOMPARE(f.Changes, 0);
    }

    void errorBoxIsAModalCriticalBoxWithOneButton()
    {
        FProbe.reset();
        SetBeepHook([] {});
        TForm& f = *FForm;
        QString seenText;
        int buttons = 0;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seenText = box->text();
            icon = box->icon();
            buttons = static_cast<int>(box->buttons().size());
            box->button(QMessageBox::Ok)->click();
        });
        f.Interval->setFocus();
        f.Lower->setFocus();
        QCOMPARE(seenText, QStringLiteral("Value is not within required range"));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(buttons, 1);
        QTRY_VERIFY(f.Interval->hasFocus());
        SetBeepHook({});
    }

private:
    std::unique_ptr<TForm> FForm;
    std::unique_ptr<TControlProbe> FProbe;
};

QTEST_MAIN(NumericFieldTest)
#include "numericfield_test.moc"
