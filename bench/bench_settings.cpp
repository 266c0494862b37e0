// The settings file at start and at close, as the window uses it, with a
// large file: the start reads the file once, the close writes it once.
// Prints the times; a start or close of a 50 MB file should take well under
// a second.

#include "settings/inifilestore.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace kelvalog;

namespace {

struct TKey
{
    const char* Section;
    const char* Key;
};

constexpr TKey Keys[] = {
    {"Pressure sensor", "Lower range"},
    {"Pressure sensor", "Upper range"},
    {"Board selection", "Board"},
    {"Tamb RH sensor", "Span adjust"},
    {"Tamb RH sensor", "Offset adjust"},
    {"RH sensor", "Span adjust"},
    {"RH sensor", "Offset adjust"},
    {"TMainForm", "Flags"},
    {"TMainForm", "ShowCmd"},
    {"TMainForm", "NormalPos"},
    {"TMainForm", "PixelsPerInch"},
    {"TMainForm", "Color"},
};

double Seconds(std::chrono::steady_clock::duration D)
{
    return std::chrono::duration<double>(D).count();
}

} // namespace

int main()
{
    const std::filesystem::path Dir =
        std::filesystem::temp_directory_path() / ("bench_settings." + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
    const std::string Exe = (Dir / "kelvalog").string();
    {
        std::ofstream Out(Dir / "kelvalog.INI", std::ios::binary);
        for (const TKey& K : Keys)
            Out << "[" << K.Section << "]\n" << K.Key << "=1\n";
        // Someone else's sections: about 50 MB of them.
        const std::string Filler(90, 'v');
        for (int I = 0; I < 500000; ++I)
            Out << "[Other " << I << "]\nkey=" << Filler << "\n";
    }
    const auto Size = std::filesystem::file_size(Dir / "kelvalog.INI");

    TIniFileStore Store(Exe);
    const auto T0 = std::chrono::steady_clock::now();
    {
        TStoreUse Start(Store);
        for (const TKey& K : Keys)
            Store.ReadTextValue(K.Section, K.Key, "0");
    }
    const auto T1 = std::chrono::steady_clock::now();
    {
        TStoreUse Close(Store);
        int N = 0;
        for (const TKey& K : Keys)
            Store.WriteTextValue(K.Section, K.Key, std::to_string(++N));
        Close.Close();
    }
    const auto T2 = std::chrono::steady_clock::now();
    std::printf("settings file of %.1f MB: start %.3f s, close %.3f s\n",
                static_cast<double>(Size) / 1e6, Seconds(T1 - T0), Seconds(T2 - T1));
    std::filesystem::remove_all(Dir);
    return 0;
}
