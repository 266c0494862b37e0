#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

namespace kelvalog {

// Where a window with the outer rectangle Frame should go so that the user can
// reach it on one of the screens' available areas: Frame's own position when
// enough of its top strip (the title bar) shows on some screen, otherwise the
// position that fits it into the nearest screen. With no screens at all the
// position is kept.
QPoint PositionInView(const QRect& Frame, const QList<QRect>& Available);

} // namespace kelvalog
