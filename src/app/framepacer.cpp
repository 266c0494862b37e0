#include "app/framepacer.h"

namespace kelvalog {

TFramePacer::TFramePacer(TApply Apply, std::chrono::milliseconds Frame, QObject* Parent)
    : QObject(Parent), FApply(std::move(Apply)), FFrame(Frame)
{
    FTimer.setSingleShot(true);
    FTimer.setTimerType(Qt::PreciseTimer);
    connect(&FTimer, &QTimer::timeout, this, [this] { Flush(); });
}

void TFramePacer::Post(const TFieldUpdate& Update)
{
    FPending[static_cast<std::size_t>(FieldIndex(Update.Field))] = Update;
    FWaiting = true;
}

void TFramePacer::Schedule()
{
    if (!FWaiting || FTimer.isActive())
        return;
    const auto Since =
        FSinceFlush.isValid() ? std::chrono::milliseconds(FSinceFlush.elapsed()) : FFrame;
    // After a quiet frame the values show once the lines that came together
    // are handled: at once for the window, without a wake-up of its own.
    FTimer.start(Since >= FFrame ? std::chrono::milliseconds(0) : FFrame - Since);
}

void TFramePacer::Drop(TFieldId Field)
{
    FPending[static_cast<std::size_t>(FieldIndex(Field))].reset();
}

void TFramePacer::Flush()
{
    FTimer.stop();
    FSinceFlush.start();
    if (!FWaiting)
        return;
    FWaiting = false;
    for (auto& Update : FPending)
        if (Update) {
            const TFieldUpdate Shown = *Update;
            Update.reset();
            FApply(Shown);
        }
}

} // namespace kelvalog
