#include "link/ui/guibridge.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>

#include <atomic>

namespace kelvalog {

namespace {
std::atomic<TGuiBridge*> TheInstance{nullptr};
}

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
    QMetaObject::invokeMethod(this, "RunNextCall", Qt::QueuedConnection);
}

void TGuiBridge::RunNextCall()
{
    ProcessOne();
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
