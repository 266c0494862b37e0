#pragma once

#include "common/localefacts.h"

class QLocale;

namespace kelvalog {

// The regional settings the program's texts use, taken from a Qt locale.
TLocaleFacts LocaleFactsFrom(const QLocale& Locale);

} // namespace kelvalog
