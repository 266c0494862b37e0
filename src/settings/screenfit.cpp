#include "settings/screenfit.h"

#include <algorithm>
#include <limits>

namespace kelvalog {

namespace {

// Enough to grab the window by its title bar.
constexpr int GripWidth = 48;
constexpr int GripHeight = 8;
constexpr int TitleHeight = 32;

long long DistanceSquared(const QRect& Area, QPoint P)
{
    const long long Dx = P.x() < Area.left()    ? Area.left() - P.x()
                         : P.x() > Area.right() ? P.x() - Area.right()
                                                : 0;
    const long long Dy = P.y() < Area.top()      ? Area.top() - P.y()
                         : P.y() > Area.bottom() ? P.y() - Area.bottom()
                                                 : 0;
    return Dx * Dx + Dy * Dy;
}

int Fit(int Pos, int Size, int AreaStart, int AreaSize)
{
    if (Size >= AreaSize)
        return AreaStart;
    return std::clamp(Pos, AreaStart, AreaStart + AreaSize - Size);
}

} // namespace

QPoint PositionInView(const QRect& Frame, const QList<QRect>& Available)
{
    if (Available.isEmpty())
        return Frame.topLeft();
    const int Width = std::max(Frame.width(), 1);
    const int Height = std::max(Frame.height(), 1);
    const QRect Title(Frame.left(), Frame.top(), Width, std::min(Height, TitleHeight));
    for (const QRect& Area : Available) {
        const QRect Seen = Title.intersected(Area);
        if (Seen.width() >= std::min(Width, GripWidth) &&
            Seen.height() >= std::min(Title.height(), GripHeight))
            return Frame.topLeft();
    }
    const QPoint Centre(Frame.left() + Width / 2, Frame.top() + Height / 2);
    const QRect* Nearest = &Available.front();
    long long Best = std::numeric_limits<long long>::max();
    for (const QRect& Area : Available) {
        const long long D = DistanceSquared(Area, Centre);
        if (D < Best) {
            Best = D;
            Nearest = &Area;
        }
    }
    return {Fit(Frame.left(), Width, Nearest->left(), Nearest->width()),
            Fit(Frame.top(), Height, Nearest->top(), Nearest->height())};
}

} // namespace kelvalog
