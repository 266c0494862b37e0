#pragma once

#include <QIcon>

namespace kelvalog {

// Pictures drawn in code, so the program carries no image files.
QIcon ApplicationIcon();
QIcon OnLineGlyph();
QIcon WriteLogGlyph();
QIcon TrendGlyph();

} // namespace kelvalog
