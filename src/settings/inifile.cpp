#include "settings/inifile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kelvalog {

EIniFileError::EIniFileError(const std::string& FileName)
    : std::runtime_error("Unable to write to " + FileName), FFileName(FileName)
{
}

namespace {

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view S)
{
    constexpr std::string_view Blanks = " \t\r";
    const auto First = S.find_first_not_of(Blanks);
    if (First == std::string_view::npos)
        return {};
    const auto Last = S.find_last_not_of(Blanks);
    return S.substr(First, Last - First + 1);
}

char Lower(char C)
{
    return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C;
}

bool SameName(std::string_view A, std::string_view B)
{
    if (A.size() != B.size())
        return false;
    for (std::size_t I = 0; I < A.size(); ++I)
        if (Lower(A[I]) != Lower(B[I]))
            return false;
    return true;
}

enum class TLineKind { Other, Section, Key };

// One line; its name and value are places in its text, so that a large file
// costs one allocation per line.
struct TLine
{
    std::string Text;
    TLineKind Kind = TLineKind::Other;
    std::size_t NameAt = 0, NameLength = 0;   // section or key name
    std::size_t ValueAt = 0, ValueLength = 0; // key lines only
    std::size_t EqualsAt = 0;

    std::string_view Name() const { return std::string_view(Text).substr(NameAt, NameLength); }
    std::string_view Value() const { return std::string_view(Text).substr(ValueAt, ValueLength); }
};

// The file split into lines, each classified once.
struct TDocument
{
    bool Bom = false;
    bool CrLf = false;
    std::vector<TLine> Lines;
};

void Classify(TLine& Line)
{
    Line.Kind = TLineKind::Other;
    const std::string_view Text = Line.Text;
    const auto Place = [&Text](std::string_view Part, std::size_t& At, std::size_t& Length) {
        At = Part.empty() ? 0 : static_cast<std::size_t>(Part.data() - Text.data());
        Length = Part.size();
    };
    const std::string_view T = Trim(Text);
    if (T.empty() || T.front() == ';' || T.front() == '#')
        return;
    if (T.front() == '[') {
        const auto Close = T.find(']');
        Line.Kind = TLineKind::Section;
        Place(
            Trim(T.substr(1, Close == std::string_view::npos ? std::string_view::npos : Close - 1)),
            Line.NameAt, Line.NameLength);
        return;
    }
    const auto Eq = Text.find('=');
    if (Eq == std::string::npos)
        return;
    const std::string_view Name = Trim(Text.substr(0, Eq));
    if (Name.empty())
        return;
    Line.Kind = TLineKind::Key;
    Place(Name, Line.NameAt, Line.NameLength);
    Place(Trim(Text.substr(Eq + 1)), Line.ValueAt, Line.ValueLength);
    Line.EqualsAt = Eq;
}

TLine MakeLine(std::string Text)
{
    TLine Line;
    Line.Text = std::move(Text);
    Classify(Line);
    return Line;
}

// Plain reads: a folder, a device or a read error in the file's place reads
// as no file rather than throwing.
std::optional<std::string> ReadWholeFile(const std::string& FileName)
{
    const int Fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (Fd < 0)
        return std::nullopt;
    struct stat St = {};
    std::optional<std::string> Content;
    if (::fstat(Fd, &St) == 0 && S_ISREG(St.st_mode)) {
        Content.emplace();
        Content->reserve(static_cast<std::size_t>(St.st_size));
        char Buffer[65536];
        while (true) {
            const ssize_t N = ::read(Fd, Buffer, sizeof Buffer);
            if (N < 0 && errno == EINTR)
                continue;
            if (N < 0)
                Content.reset();
            if (N <= 0)
                break;
            Content->append(Buffer, static_cast<std::size_t>(N));
        }
    }
    ::close(Fd);
    return Content;
}

TDocument Parse(std::string_view Content)
{
    TDocument Doc;
    if (Content.starts_with(Utf8Bom)) {
        Doc.Bom = true;
        Content.remove_prefix(Utf8Bom.size());
    }
    const auto FirstEnd = Content.find('\n');
    Doc.CrLf = FirstEnd != std::string_view::npos && FirstEnd > 0 && Content[FirstEnd - 1] == '\r';
    Doc.Lines.reserve(static_cast<std::size_t>(std::count(Content.begin(), Content.end(), '\n')) +
                      1);
    std::size_t Start = 0;
    while (Start < Content.size()) {
        auto End = Content.find('\n', Start);
        if (End == std::string_view::npos)
            End = Content.size();
        std::string_view Text = Content.substr(Start, End - Start);
        if (Text.ends_with('\r'))
            Text.remove_suffix(1);
        Doc.Lines.push_back(MakeLine(std::string(Text)));
        Start = End + 1;
    }
    return Doc;
}

std::string Serialise(const TDocument& Doc)
{
    std::string Out;
    std::size_t Size = Utf8Bom.size();
    for (const auto& Line : Doc.Lines)
        Size += Line.Text.size() + 2;
    Out.reserve(Size);
    if (Doc.Bom)
        Out += Utf8Bom;
    const std::string_view Eol = Doc.CrLf ? "\r\n" : "\n";
    for (const auto& Line : Doc.Lines) {
        Out += Line.Text;
        Out += Eol;
    }
    return Out;
}

struct TKeySearch
{
    std::optional<std::size_t> KeyLine;
    // Where a new key of the first matching section goes.
    std::optional<std::size_t> InsertAt;
};

TKeySearch FindKey(const TDocument& Doc, std::string_view Section, std::string_view Key)
{
    TKeySearch Found;
    bool InSection = false;
    bool FirstSection = false;
    for (std::size_t I = 0; I < Doc.Lines.size(); ++I) {
        const TLine& Line = Doc.Lines[I];
        if (Line.Kind == TLineKind::Section) {
            InSection = SameName(Line.Name(), Section);
            FirstSection = InSection && !Found.InsertAt;
            if (FirstSection)
                Found.InsertAt = I + 1;
            continue;
        }
        if (InSection && Line.Kind == TLineKind::Key) {
            if (SameName(Line.Name(), Key)) {
                Found.KeyLine = I;
                return Found;
            }
            if (FirstSection)
                Found.InsertAt = I + 1;
        }
    }
    return Found;
}

bool HasLineBreak(std::string_view S)
{
    return S.find_first_of("\r\n") != std::string_view::npos;
}

// The file a write really goes to: the end of a chain of symbolic links,
// which need not exist yet. None for a chain that loops or cannot be read.
std::optional<std::string> WriteTarget(const std::string& FileName)
{
    std::string Path = FileName;
    for (int Depth = 0; Depth < 40; ++Depth) {
        struct stat St = {};
        if (::lstat(Path.c_str(), &St) != 0 || !S_ISLNK(St.st_mode))
            return Path;
        std::string Link(PATH_MAX, '\0');
        const ssize_t N = ::readlink(Path.c_str(), Link.data(), Link.size());
        if (N <= 0 || static_cast<std::size_t>(N) >= Link.size())
            return std::nullopt;
        Link.resize(static_cast<std::size_t>(N));
        if (Link.front() != '/') {
            const auto Slash = Path.rfind('/');
            Link = (Slash == std::string::npos ? std::string() : Path.substr(0, Slash + 1)) + Link;
        }
        Path = std::move(Link);
    }
    return std::nullopt;
}

// Writes the whole file beside the old one and renames it over, so that a
// crash or a full disk never leaves a half-written settings file. Falls back to
// rewriting in place when the folder refuses new files but the file itself may
// be written.
bool ReplaceFile(const std::string& FileName, const std::string& Content)
{
    // Write through a symbolic link instead of replacing the link, also when
    // its target does not exist yet.
    const auto Resolved = WriteTarget(FileName);
    if (!Resolved)
        return false;
    const std::string& Target = *Resolved;
    struct stat Old = {};
    const bool Exists = ::stat(Target.c_str(), &Old) == 0;
    if (Exists && (!S_ISREG(Old.st_mode) || ::access(Target.c_str(), W_OK) != 0))
        return false;

    auto WriteAll = [&Content](int Fd) {
        std::size_t Done = 0;
        while (Done < Content.size()) {
            const ssize_t N = ::write(Fd, Content.data() + Done, Content.size() - Done);
            if (N < 0 && errno == EINTR)
                continue;
            if (N <= 0)
                return false;
            Done += static_cast<std::size_t>(N);
        }
        return ::fsync(Fd) == 0;
    };

    static std::atomic<unsigned> Counter = 0;
    const std::string Temp =
        Target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(++Counter);
    const int Fd = ::open(Temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (Fd >= 0) {
        bool Ok = true;
        if (Exists) {
            Ok = ::fchmod(Fd, Old.st_mode & 07777) == 0;
            // Keeps the owner when run with the rights to; harmless otherwise.
            [[maybe_unused]] const int Ignored = ::fchown(Fd, Old.st_uid, Old.st_gid);
        }
        Ok = Ok && WriteAll(Fd);
        Ok = (::close(Fd) == 0) && Ok;
        Ok = Ok && ::rename(Temp.c_str(), Target.c_str()) == 0;
        if (!Ok)
            ::unlink(Temp.c_str());
        return Ok;
    }
    if (!Exists || (errno != EACCES && errno != EPERM))
        return false;
    const int InPlace = ::open(Target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (InPlace < 0)
        return false;
    const bool Ok = WriteAll(InPlace);
    return (::close(InPlace) == 0) && Ok;
}

// Names and values that could not be read back as written, or that would
// start lines of their own.
bool Storable(std::string_view Section, std::string_view Key, std::string_view Value)
{
    // A CR inside a value is kept: only a line feed ends a line here.
    return !(Section.empty() || Key.empty() || HasLineBreak(Section) || HasLineBreak(Key) ||
             Value.find('\n') != std::string_view::npos ||
             Section.find(']') != std::string_view::npos ||
             Key.find('=') != std::string_view::npos || Key.front() == '[' || Key.front() == ';' ||
             Key.front() == '#');
}

void Apply(TDocument& Doc, std::string_view Section, std::string_view Key, std::string_view Value)
{
    const TKeySearch Found = FindKey(Doc, Section, Key);
    if (Found.KeyLine) {
        TLine& Line = Doc.Lines[*Found.KeyLine];
        // Keeps the line's own spelling and spacing up to the value.
        const auto ValueAt = Line.Text.find_first_not_of(" \t", Line.EqualsAt + 1);
        Line.Text = Line.Text.substr(0, std::min(ValueAt, Line.Text.size())) + std::string(Value);
        Classify(Line);
    } else if (Found.InsertAt) {
        Doc.Lines.insert(Doc.Lines.begin() + static_cast<std::ptrdiff_t>(*Found.InsertAt),
                         MakeLine(std::string(Key) + "=" + std::string(Value)));
    } else {
        Doc.Lines.push_back(MakeLine("[" + std::string(Section) + "]"));
        Doc.Lines.push_back(MakeLine(std::string(Key) + "=" + std::string(Value)));
    }
}

// The file as it is now: none when it exists but cannot be read, an empty
// document when it does not exist (or is no regular file).
std::optional<TDocument> Load(const std::string& FileName)
{
    if (const auto Content = ReadWholeFile(FileName))
        return Parse(*Content);
    if (::access(FileName.c_str(), F_OK) == 0) {
        struct stat St = {};
        if (::stat(FileName.c_str(), &St) == 0 && S_ISREG(St.st_mode))
            return std::nullopt;
    }
    return TDocument{};
}

struct TWrite
{
    std::string Section;
    std::string Key;
    std::string Value;
};

} // namespace

struct TIniFile::TState
{
    bool Loaded = false;
    bool Unreadable = false; // there, but its content could not be read
    TDocument Doc;
    std::vector<TWrite> Pending;

    void EnsureLoaded(const std::string& FileName)
    {
        if (Loaded)
            return;
        Loaded = true;
        if (auto Read = Load(FileName))
            Doc = std::move(*Read);
        else
            Unreadable = true;
        // Writes made before the first read.
        for (const TWrite& W : Pending)
            Apply(Doc, W.Section, W.Key, W.Value);
    }
};

TIniFile::TIniFile(std::string FileName)
    : FFileName(std::move(FileName)), FState(std::make_unique<TState>())
{
}

TIniFile::~TIniFile() = default;

std::string TIniFile::ReadString(std::string_view Section, std::string_view Key,
                                 std::string_view Default) const
{
    std::string Result(Default);
    Section = Trim(Section);
    Key = Trim(Key);
    if (Section.empty() || Key.empty())
        return Result;
    FState->EnsureLoaded(FFileName);
    const TKeySearch Found = FindKey(FState->Doc, Section, Key);
    if (Found.KeyLine)
        Result = FState->Doc.Lines[*Found.KeyLine].Value();
    return Result;
}

void TIniFile::WriteString(std::string_view Section, std::string_view Key, std::string_view Value)
{
    Section = Trim(Section);
    Key = Trim(Key);
    if (!Storable(Section, Key, Value))
        throw EIniFileError(FFileName);
    // A file that is there but cannot be read is not replaced blindly.
    if (FState->Unreadable)
        throw EIniFileError(FFileName);
    const std::string_view Trimmed = Trim(Value);
    // Written without reading first (as at a close), the file is read once,
    // by UpdateFile.
    if (FState->Loaded)
        Apply(FState->Doc, Section, Key, Trimmed);
    FState->Pending.push_back({std::string(Section), std::string(Key), std::string(Trimmed)});
}

bool TIniFile::Modified() const
{
    return !FState->Pending.empty();
}

void TIniFile::UpdateFile()
{
    if (FState->Pending.empty())
        return;
    // What another copy wrote meanwhile stays, except for the keys written here.
    auto Current = Load(FFileName);
    if (!Current)
        throw EIniFileError(FFileName);
    for (const TWrite& W : FState->Pending)
        Apply(*Current, W.Section, W.Key, W.Value);
    if (!ReplaceFile(FFileName, Serialise(*Current)))
        throw EIniFileError(FFileName);
    FState->Pending.clear();
    FState->Doc = std::move(*Current);
    FState->Loaded = true;
}

} // namespace kelvalog
