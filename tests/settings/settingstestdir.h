#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace kelvalog::test {

// A fresh folder below the test output folder, removed again at the end.
class TTempDir
{
public:
    TTempDir()
    {
        const char* Out = std::getenv("KELVALOG_TEST_OUTPUT");
        std::filesystem::path Base = Out && *Out ? Out : std::filesystem::temp_directory_path();
        std::filesystem::create_directories(Base);
        std::string Pattern = (Base / "settings-XXXXXX").string();
        if (!::mkdtemp(Pattern.data()))
            std::abort();
        FPath = Pattern;
    }
    ~TTempDir()
    {
        std::error_code Ignored;
        std::filesystem::permissions(FPath, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, Ignored);
        std::filesystem::remove_all(FPath, Ignored);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    std::string File(const std::string& Name) const { return (FPath / Name).string(); }
    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};

inline std::string ReadFile(const std::string& Name)
{
    std::ifstream In(Name, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& Name, const std::string& Content)
{
    std::ofstream(Name, std::ios::binary) << Content;
}

} // namespace kelvalog::test
