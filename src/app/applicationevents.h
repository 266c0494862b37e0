#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <functional>
#include <memory>

class QWidget;

namespace kelvalog {

class TGuiBridge;

// The application-wide hook: every exception that no handler caught and every
// change of the current hint end up here.
class TApplicationEvents
{
public:
    using TExceptionEvent = std::function<void(std::exception_ptr)>;
    using THintEvent = std::function<void(const QString& LongHint)>;

    static TExceptionEvent OnException;
    static THintEvent OnHint;

    // Never throws: the handler's own failures are dropped.
    static void HandleException(std::exception_ptr Error) noexcept;
    static void HintChanged(const QString& Hint);
};

// Runs a window handler so that nothing it throws unwinds into the toolkit.
template <class F> void Guarded(F&& Handler) noexcept
{
    try {
        Handler();
    } catch (...) {
        TApplicationEvents::HandleException(std::current_exception());
    }
}

// Hints are "short|long": the short part is the tooltip, the long part goes
// to the status bar. A hint without "|" serves as both.
QString GetShortHint(const QString& Hint);
QString GetLongHint(const QString& Hint);
void SetHint(QWidget* Control, const QString& Hint);
QString HintOf(const QWidget* Control);
// The hint that applies under the pointer: the control's own, else the nearest
// container's.
QString EffectiveHint(const QWidget* Control);

// How the window's pictures reach an X server, settled before the
// application object connects to it.
class TDisplayChoice
{
protected:
    TDisplayChoice();
    // Once connected: programs started from here (the office) do not inherit it.
    void Connected();

private:
    bool FSetHere = false;
};

// The program's application object: title "Kelvalog", the one catcher of
// exceptions that escape an event, and the hint tracking.
class TKelvalogApplication : private TDisplayChoice, public QApplication
{
public:
    TKelvalogApplication(int& argc, char** argv);
    ~TKelvalogApplication() override;
    bool notify(QObject* Receiver, QEvent* Event) override;

private:
    QString FHint;
    // Carries the serial layer's calls onto this thread.
    std::unique_ptr<TGuiBridge> FBridge;
    void TrackHint(QObject* Receiver, QEvent* Event);
};

} // namespace kelvalog
