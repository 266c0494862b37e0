// Field updates of board lines shown at most once per frame.

#include "app/framepacer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

using namespace kelvalog;

namespace {

TFieldUpdate Update(TFieldRow Row, float Value)
{
    return {{Row, TFieldKind::Actual}, Value, true};
}

} // namespace

class TFramePacerTest : public QObject
{
    Q_OBJECT

private slots:
    void withinAFrameTheLastValueWinsAndAfterAQuietFrameTheLinesOfOneHandOffShowOnce()
    {
        std::vector<TFieldUpdate> Shown;
        // A frame far longer than the test: nothing is shown by the frame's
        // timer.
        TFramePacer Pacer([&](const TFieldUpdate& U) { Shown.push_back(U); },
                          std::chrono::hours(1));
        // After a quiet frame, the lines handed over together show as soon
        // as the window is idle again: once, with the last line's values.
        Pacer.Post(Update(TFieldRow::T51, 0));
        Pacer.Schedule();
        Pacer.Post(Update(TFieldRow::T51, 1));
        Pacer.Post(Update(TFieldRow::T54, 4));
        Pacer.Schedule();
        QVERIFY(Shown.empty());
        QCoreApplication::processEvents();
        QCOMPARE(Shown.size(), std::size_t(2));
        for (int I = 2; I <= 1000; ++I) {
            Pacer.Post(Update(TFieldRow::T51, static_cast<float>(I)));
            Pacer.Post(Update(TFieldRow::T53, static_cast<float>(-I)));
            Pacer.Schedule();
        }
        Pacer.Post(Update(TFieldRow::T52, 7));
        Pacer.Drop({TFieldRow::T52, TFieldKind::Actual}); // shown directly meanwhile
        Pacer.Schedule();
        QCOMPARE(Shown.size(), std::size_t(2));
        QVERIFY(Pacer.Waiting());
        Pacer.Flush();
        QCOMPARE(Shown, (std::vector<TFieldUpdate>{
                            Update(TFieldRow::T51, 1), Update(TFieldRow::T54, 4),
                            Update(TFieldRow::T51, 1000), Update(TFieldRow::T53, -1000)}));
        QVERIFY(!Pacer.Waiting());
    }

    void aWaitingValueIsShownWithinAFrame()
    {
        std::vector<TFieldUpdate> Shown;
        TFramePacer Pacer([&](const TFieldUpdate& U) { Shown.push_back(U); },
                          std::chrono::milliseconds(16));
        Pacer.Post(Update(TFieldRow::T51, 1));
        Pacer.Schedule();
        QCoreApplication::processEvents();
        QCOMPARE(Shown.size(), std::size_t(1));
        Pacer.Post(Update(TFieldRow::T51, 2));
        Pacer.Schedule();
        QTRY_COMPARE_WITH_TIMEOUT(Shown.size(), std::size_t(2), 5000);
        QCOMPARE(Shown.back(), Update(TFieldRow::T51, 2));
    }
};

QTEST_GUILESS_MAIN(TFramePacerTest)
#include "framepacer_test.moc"
