#include "link/ui/guibridge.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>

#include <atomic>

namespace kelvalog {

namespace {
std::atomic<TGuiBridge*> TheInstance{nullptr};

// Runs the oldest queued call. A plain posted event: a queued invocation by
// name cost the dispatch thread a method look-up at every line.
const QEvent::Type RunCallEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
} // namespace

TGuiBridge::TGuiBridge(QObject* Parent) : QObject(Parent)
{
    TheInstance.store(this);
    SetDefaultWindowBridge(this);
}

TGuiBridge::~TGuiBridge()
{
    // Runs what is queued and releases waiting workers while the object is
    // still whole.
    ShutDown();
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

void TGuiBridge::JobQueued(const TJobPtr&)
{
    QCoreApplication::postEvent(this, new QEvent(RunCallEvent));
}

bool TGuiBridge::event(QEvent* Event)
{
    if (Event->type() != RunCallEvent)
        return QObject::event(Event);
    ProcessOne();
    return true;
}

void TGuiBridge::ReportThreadFailure(const std::string& Message)
{
    const QString Text = QString::fromLocal8Bit(Message.c_str());
    Post([Text] {
        QWidget* Parent = nullptr;
        QMessageBox::critical(Parent, QCoreApplication::applicationName(), Text);
    });
}

} // namespace kelvalog
