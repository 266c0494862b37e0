#include "app/applicationevents.h"
#include "link/ui/guibridge.h"

#include <QEvent>
#include <QVariant>
#include <QWidget>

#include <cstdio>

namespace kelvalog {

namespace {
constexpr const char* HintProperty = "kelvalogHint";
}

TApplicationEvents::TExceptionEvent TApplicationEvents::OnException;
TApplicationEvents::THintEvent TApplicationEvents::OnHint;

void TApplicationEvents::HandleException(std::exception_ptr Error) noexcept
{
    try {
        if (OnException) {
            OnException(Error);
            return;
        }
        std::rethrow_exception(Error);
    } catch (const std::exception& E) {
        std::fprintf(stderr, "kelvalog: unhandled error: %s\n", E.what());
    } catch (...) {
        std::fprintf(stderr, "kelvalog: unhandled error of an unknown kind\n");
    }
}

void TApplicationEvents::HintChanged(const QString& Hint)
{
    if (OnHint)
        OnHint(GetLongHint(Hint));
}

QString GetShortHint(const QString& Hint)
{
    const auto Bar = Hint.indexOf(QLatin1Char('|'));
    return Bar < 0 ? Hint : Hint.left(Bar);
}

QString GetLongHint(const QString& Hint)
{
    const auto Bar = Hint.indexOf(QLatin1Char('|'));
    return Bar < 0 ? Hint : Hint.mid(Bar + 1);
}

void SetHint(QWidget* Control, const QString& Hint)
{
    Control->setProperty(HintProperty, Hint);
    Control->setToolTip(GetShortHint(Hint));
}

QString HintOf(const QWidget* Control)
{
    return Control->property(HintProperty).toString();
}

QString EffectiveHint(const QWidget* Control)
{
    for (; Control; Control = Control->parentWidget()) {
        const QString Hint = HintOf(Control);
        if (!Hint.isEmpty())
            return Hint;
        if (Control->isWindow())
            break;
    }
    return {};
}

namespace {
constexpr const char* NoSharedImages = "QT_XCB_NO_MITSHM";
}

TDisplayChoice::TDisplayChoice()
{
    // Through shared memory, a repaint of a place shown before waits for the
    // X server to confirm that it has read the last picture: a round trip
    // that wakes this thread, Qt's event reader and the server at every
    // change of a value or of the clock, which was most of what the window
    // cost at rest and at a board's pace. Its small pictures go through the
    // socket instead, as they do to a remote display. A user's own setting
    // stands.
    if (!qEnvironmentVariableIsSet(NoSharedImages)) {
        qputenv(NoSharedImages, "1");
        FSetHere = true;
    }
}

void TDisplayChoice::Connected()
{
    if (FSetHere)
        qunsetenv(NoSharedImages);
}

TKelvalogApplication::TKelvalogApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    Connected();
    setApplicationName(QStringLiteral("Kelvalog"));
    FBridge = std::make_unique<TGuiBridge>();
    FBridge->SetExceptionSink(
        [](std::exception_ptr Error) { TApplicationEvents::HandleException(Error); });
}

TKelvalogApplication::~TKelvalogApplication() = default;

bool TKelvalogApplication::notify(QObject* Receiver, QEvent* Event)
{
    try {
        TrackHint(Receiver, Event);
        return QApplication::notify(Receiver, Event);
    } catch (...) {
        TApplicationEvents::HandleException(std::current_exception());
        return false;
    }
}

void TKelvalogApplication::TrackHint(QObject* Receiver, QEvent* Event)
{
    if (Event->type() != QEvent::Enter && Event->type() != QEvent::Leave)
        return;
    auto* Control = qobject_cast<QWidget*>(Receiver);
    if (!Control)
        return;
    // Leaving a control returns the pointer to its container; entering a
    // sibling follows with its own Enter.
    const QWidget* Under = Event->type() == QEvent::Enter ? Control : Control->parentWidget();
    const QString Hint = Under ? EffectiveHint(Under) : QString();
    if (Hint == FHint)
        return;
    FHint = Hint;
    TApplicationEvents::HintChanged(Hint);
}

} // namespace kelvalog
