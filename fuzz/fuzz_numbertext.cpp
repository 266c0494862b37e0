// Feeds arbitrary texts to the decimal reader and arbitrary doubles to the
// formatters. What must hold: no undefined behaviour, the reader accepts
// every text the formatters write for finite values in range, and a value
// read back formats to the same text.
#include "common/datetimetext.h"
#include "common/numbertext.h"
#include "common/serialdate.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

using namespace kelvalog;

namespace {

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

void FormatAndReadBack(double value, char sep)
{
    const std::string general = FormatGeneral(value, sep);
    const std::string fixed = FormatTwoDecimals(value, sep);
    if (!std::isfinite(value)) {
        Check(!ParseDecimal(general, sep).has_value());
        return;
    }
    const auto generalBack = ParseDecimal(general, sep);
    // Only the largest values can round beyond the range of a double.
    if (std::fabs(value) < 1e308) {
        Check(generalBack.has_value());
        Check(FormatGeneral(*generalBack, sep) == general);
    }
    const auto fixedBack = ParseDecimal(fixed, sep);
    Check(fixedBack.has_value());
    if (std::fabs(value) < 1e13) {
        Check(FormatTwoDecimals(*fixedBack, sep) == fixed);
    }
    Check(fixed != std::string("-0") + sep + "00");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const char sep = (data[0] & 1) ? ',' : '.';
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    if (const auto value = ParseDecimal(text, sep)) {
        Check(std::isfinite(*value));
        FormatAndReadBack(*value, sep);
    }
    if (size >= 1 + sizeof(double)) {
        double value;
        std::memcpy(&value, data + 1, sizeof value);
        FormatAndReadBack(value, sep);
        FormatAndReadBack(static_cast<float>(value), sep);
    }
    if (size >= 1 + 7 * sizeof(std::int16_t)) {
        std::int16_t f[7];
        std::memcpy(f, data + 1, sizeof f);
        TLocalDateTime dt{f[0],
                          1 + std::abs(f[1] % 12),
                          1 + std::abs(f[2] % 28),
                          std::abs(f[3] % 24),
                          std::abs(f[4] % 60),
                          std::abs(f[5] % 60),
                          std::abs(f[6] % 1000)};
        TLocaleFacts facts;
        facts.ShortDatePattern.assign(text.substr(0, 16));
        facts.TwentyFourHourClock = data[0] & 2;
        facts.LeadingZeroInHour = data[0] & 4;
        facts.DesignatorBeforeTime = data[0] & 8;
        (void)FormatDateTime(dt, facts);
        FormatAndReadBack(SerialDate(dt), sep);
    }
    return 0;
}
