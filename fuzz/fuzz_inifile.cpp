// Feeds arbitrary settings files to the INI reader and writer. What must
// hold: no undefined behaviour; every value read, written back and read again
// is the same; a new value reads back as written (without the blanks at its
// ends) and leaves the other keys as they were.
#include "settings/inifile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace kelvalog;

namespace {

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

const std::string& FileName()
{
    static const std::string name = [] {
        const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(dir) + "/fuzz_inifile." + std::to_string(::getpid()) + ".ini";
    }();
    return name;
}

void WriteFile(std::string_view content)
{
    std::FILE* file = std::fopen(FileName().c_str(), "wb");
    Check(file != nullptr);
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);
}

// Names to ask for: those that look like sections and keys in the file.
std::vector<std::pair<std::string, std::string>> Probes(std::string_view content)
{
    std::vector<std::pair<std::string, std::string>> probes;
    std::string section;
    std::size_t start = 0;
    while (start < content.size() && probes.size() < 64) {
        auto end = content.find('\n', start);
        if (end == std::string_view::npos) {
            end = content.size();
        }
        const std::string_view line = content.substr(start, end - start);
        if (const auto open = line.find('['); open != std::string_view::npos) {
            section = std::string(line.substr(open + 1, line.find(']') - open - 1));
        } else if (const auto eq = line.find('='); eq != std::string_view::npos) {
            probes.emplace_back(section, std::string(line.substr(0, eq)));
        }
        start = end + 1;
    }
    return probes;
}

std::string_view Trim(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The last line names a new key and its value: "section\x1Fkey\x1Fvalue".
    const auto split = input.rfind('\n');
    const std::string_view content =
        split == std::string_view::npos ? input : input.substr(0, split);
    const std::string_view extra = split == std::string_view::npos ? "" : input.substr(split + 1);
    WriteFile(content);
    const auto probes = Probes(content);
    constexpr std::string_view absent = "\x01"
                                        "absent";

    std::vector<std::string> values;
    {
        TIniFile file(FileName());
        for (const auto& [section, key] : probes) {
            values.push_back(file.ReadString(section, key, absent));
        }
        for (std::size_t i = 0; i < probes.size(); ++i) {
            if (values[i] == absent) {
                continue;
            }
            try {
                file.WriteString(probes[i].first, probes[i].second, values[i]);
            } catch (const EIniFileError&) {
                // A name the program would never write (a line break in it).
            }
        }
        file.UpdateFile();
    }
    std::string newSection, newKey, newValue;
    bool wroteNew = false;
    {
        TIniFile file(FileName());
        for (std::size_t i = 0; i < probes.size(); ++i) {
            Check(file.ReadString(probes[i].first, probes[i].second, absent) == values[i]);
        }
        const auto a = extra.find('\x1F');
        const auto b = a == std::string_view::npos ? a : extra.find('\x1F', a + 1);
        if (b != std::string_view::npos) {
            newSection = extra.substr(0, a);
            newKey = extra.substr(a + 1, b - a - 1);
            newValue = extra.substr(b + 1);
            try {
                file.WriteString(newSection, newKey, newValue);
                wroteNew = true;
            } catch (const EIniFileError&) {
                // Names and values that would break the line structure.
            }
            Check(!wroteNew || file.ReadString(newSection, newKey, absent) == Trim(newValue));
            file.UpdateFile();
        }
    }
    if (wroteNew) {
        TIniFile file(FileName());
        Check(file.ReadString(newSection, newKey, absent) == Trim(newValue));
        for (std::size_t i = 0; i < probes.size(); ++i) {
            const std::string now = file.ReadString(probes[i].first, probes[i].second, absent);
            // Names match regardless of case and blanks: the new key may be one of these.
            Check(now == values[i] || now == Trim(newValue));
        }
    }
    ::unlink(FileName().c_str());
    return 0;
}
