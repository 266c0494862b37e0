#pragma once

#include "acquisition/displayfields.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <array>
#include <chrono>
#include <functional>
#include <optional>

namespace kelvalog {

// Shows the display-field updates that come with every board line at most
// once per screen frame: a field changed several times within a frame shows
// the last value. After a quiet frame an update is shown as soon as the
// lines handed over with it are handled, so a line at the board's usual pace
// reaches the screen without delay.
class TFramePacer : public QObject
{
public:
    using TApply = std::function<void(const TFieldUpdate&)>;
    static constexpr std::chrono::milliseconds DefaultFrame{16};

    explicit TFramePacer(TApply Apply, std::chrono::milliseconds Frame = DefaultFrame,
                         QObject* Parent = nullptr);

    // Keeps the update; Schedule() after the updates of one line.
    void Post(const TFieldUpdate& Update);
    // Shows what waits when the window is next idle if a quiet frame has
    // passed, else at the end of the frame.
    void Schedule();
    // A newer value was shown directly: a waiting one must not overwrite it.
    void Drop(TFieldId Field);
    // Shows what waits now.
    void Flush();
    bool Waiting() const { return FWaiting; }

private:
    TApply FApply;
    std::chrono::milliseconds FFrame;
    std::array<std::optional<TFieldUpdate>, DisplayFieldCount> FPending;
    bool FWaiting = false;
    QElapsedTimer FSinceFlush;
    QTimer FTimer;
};

} // namespace kelvalog
