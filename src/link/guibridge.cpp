#include "link/guibridge.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>

#include <atomic>

namespace kelvalog {

namespace {

std::atomic<TGuiBridge*> TheInstance{nullptr};

const QEvent::Type JobEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

} // namespace

// One queued call. The call counts as done when the event is destroyed, which
// Qt does after notify() has returned, and also when the event is discarded.
class TGuiBridgeJobEvent : public QEvent
{
public:
    TGuiBridgeJobEvent(TGuiBridge& Bridge, std::function<void(bool)> Finish)
        : QEvent(JobEventType), FFinish(std::move(Finish))
    {
        (void)Bridge;
    }
    ~TGuiBridgeJobEvent() override
    {
        if (Claimed)
            FFinish(true);
    }
    std::function<bool()> Claim;
    std::function<void()> Run;
    bool Claimed = false;

private:
    std::function<void(bool)> FFinish;
};

TGuiBridge::TGuiBridge(QObject* Parent) : QObject(Parent)
{
    TheInstance.store(this);
    SetDefaultWindowBridge(this);
}

TGuiBridge::~TGuiBridge()
{
    ShutDown();
    QCoreApplication::removePostedEvents(this, JobEventType);
    TGuiBridge* Self = this;
    TheInstance.compare_exchange_strong(Self, nullptr);
    TWindowBridge* Base = this;
    if (DefaultWindowBridge() == Base)
        SetDefaultWindowBridge(nullptr);
}

TGuiBridge* TGuiBridge::Instance()
{
    return TheInstance.load();
}

void TGuiBridge::JobQueued(const TJobPtr& Job)
{
    auto* Event = new TGuiBridgeJobEvent(*this, [this, Job](bool) { FinishJob(Job); });
    Event->Claim = [this, Job] { return ClaimJob(Job); };
    Event->Run = [Job] {
        if (Job->Call)
            Job->Call();
    };
    QCoreApplication::postEvent(this, Event);
}

bool TGuiBridge::event(QEvent* Event)
{
    if (Event->type() != JobEventType)
        return QObject::event(Event);
    auto* Job = static_cast<TGuiBridgeJobEvent*>(Event);
    if (!Job->Claim())
        return true; // ran already while the GUI thread waited for workers
    Job->Claimed = true;
    try {
        Job->Run();
    } catch (...) {
        HandleException(std::current_exception());
    }
    return true;
}

void TGuiBridge::ReportException(std::exception_ptr Error)
{
    QString Text = QStringLiteral("Unknown error");
    try {
        std::rethrow_exception(Error);
    } catch (const std::exception& E) {
        Text = QString::fromLocal8Bit(E.what());
    } catch (...) {
    }
    QPointer<TGuiBridge> Self(this);
    Post([Self, Text] {
        QWidget* Parent = nullptr;
        QMessageBox::critical(Parent, QCoreApplication::applicationName(), Text);
    });
}

} // namespace kelvalog
