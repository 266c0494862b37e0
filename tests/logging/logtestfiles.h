#pragma once

#include "common/localefacts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace kelvalog::testing {

// A fresh folder per test, below the test output folder when there is one.
class TLogTestFolder
{
public:
    TLogTestFolder()
    {
        const char* root = std::getenv("KELVALOG_TEST_OUTPUT");
        std::filesystem::path base = root ? root : std::filesystem::temp_directory_path();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        Path = base / "logging" /
               (std::string(info->test_suite_name()) + "." + info->name() + "." +
                std::to_string(::getpid()));
        std::filesystem::remove_all(Path);
        std::filesystem::create_directories(Path);
    }
    ~TLogTestFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(Path, ignored);
    }
    std::string File(const std::string& name) const { return (Path / name).string(); }

    std::filesystem::path Path;
};

inline std::string ReadAll(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteAll(const std::string& name, const std::string& text)
{
    std::ofstream(name, std::ios::binary) << text;
}

// A comma locale with a day-month-year date and a 24-hour clock.
inline TLocaleFacts CommaLocale()
{
    TLocaleFacts f;
    f.DecimalSeparator = ',';
    f.ShortDatePattern = "d-M-yyyy";
    f.TwentyFourHourClock = true;
    f.LeadingZeroInHour = true;
    return f;
}

} // namespace kelvalog::testing
