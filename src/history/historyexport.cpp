#include "history/historyexport.h"

#include "common/isotime.h"
#include "common/serialdate.h"
#include "history/historystore.h"
#include "logging/sylkwriter.h"
#include "logging/tabwriter.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

namespace kelvalog {

namespace {

constexpr std::uint64_t ProgressEvery = 4096;

// A tick of no known board shows all its channels.
std::vector<TBoardChannel> ColumnsFor(int Board)
{
    std::vector<TBoardChannel> Columns = BoardChannels(Board);
    if (!Columns.empty())
        return Columns;
    static const char* const Names[] = {"Channel 0", "Channel 1", "Channel 2", "Channel 3",
                                        "Channel 4", "Channel 5", "Channel 6", "Channel 7"};
    for (int I = 0; I < ChannelCount; ++I)
        Columns.push_back({I, Names[I], ""});
    return Columns;
}

const char* BoardName(int Board)
{
    return Board == 0 ? "\"I2C (5V)\"" : Board == 1 ? "\"I2C (3,3V)\"" : "";
}

void AppendNumber(std::string& To, long long Value, int Digits)
{
    char Buffer[24];
    auto [End, Error] = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
    (void)Error;
    for (auto N = End - Buffer; N < Digits; ++N)
        To += '0';
    To.append(Buffer, End);
}

void AppendTimes(std::string& To, std::int64_t Time)
{
    const TSplitMicros At = SplitMicros(Time);
    std::tm Utc{}, Local{};
    gmtime_r(&At.Seconds, &Utc);
    localtime_r(&At.Seconds, &Local);
    AppendIsoDateTime(To, Utc, At.Micros);
    To += "Z,";
    AppendIsoDateTime(To, Local, At.Micros);
    const long Offset = Local.tm_gmtoff;
    To += Offset < 0 ? '-' : '+';
    AppendNumber(To, std::labs(Offset) / 3600, 2);
    To += ':';
    AppendNumber(To, std::labs(Offset) % 3600 / 60, 2);
}

void AppendValue(std::string& To, float Value)
{
    char Buffer[32];
    const auto [End, Error] = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
    (void)Error;
    To.append(Buffer, End);
}

class TOutFile
{
public:
    explicit TOutFile(const std::string& Path) : FFile(std::fopen(Path.c_str(), "wb"))
    {
        if (!FFile)
            throw ELogError("cannot create " + Path, errno);
    }
    ~TOutFile()
    {
        if (FFile)
            std::fclose(FFile);
    }
    TOutFile(const TOutFile&) = delete;
    TOutFile& operator=(const TOutFile&) = delete;
    void Write(const std::string& Text)
    {
        if (std::fwrite(Text.data(), 1, Text.size(), FFile) != Text.size())
            throw ELogError("write failed", errno);
    }
    void Close()
    {
        // Let go of the handle first: whatever fclose says, it is gone.
        const int Result = std::fclose(std::exchange(FFile, nullptr));
        if (Result != 0)
            throw ELogError("close failed", errno);
    }

private:
    std::FILE* FFile;
};

std::uint64_t ExportCsv(THistoryStore& Store, const THistoryExport& Request, std::uint64_t Total,
                        const std::function<bool(std::uint64_t, std::uint64_t)>& Progress)
{
    TOutFile Out(Request.OutPath);
    std::vector<TBoardChannel> Columns;
    bool Header = false;
    std::uint64_t Done = 0;
    bool Cancelled = false;
    std::string Text;
    auto WriteHeader = [&](int Board) {
        Columns = ColumnsFor(Board);
        Text += "time_utc,time_local,board";
        for (const TBoardChannel& C : Columns) {
            const std::string Unit = *C.Unit ? std::string(" (") + C.Unit + ")" : std::string();
            Text += std::string(",") + C.Name + " sampled" + Unit;
            Text += std::string(",") + C.Name + " filtered" + Unit;
            Text += std::string(",") + C.Name + " valid";
        }
        Text += "\r\n";
        Header = true;
    };
    Store.ReadTicks(Request.From, Request.To, [&](const THistoryTick& Tick, std::int64_t) {
        if (!Header)
            WriteHeader(Tick.Board);
        AppendTimes(Text, Tick.Time);
        Text += ',';
        Text += BoardName(Tick.Board);
        for (const TBoardChannel& C : Columns) {
            const bool Valid = Tick.IsValid(C.Index);
            Text += ',';
            if (Valid)
                AppendValue(Text, Tick.Sample[C.Index]);
            Text += ',';
            if (Valid)
                AppendValue(Text, Tick.Filtered[C.Index]);
            Text += Valid ? ",1" : ",0";
        }
        Text += "\r\n";
        if (Text.size() > 1 << 16) {
            Out.Write(Text);
            Text.clear();
        }
        if (++Done % ProgressEvery == 0 && Progress && !Progress(Done, Total)) {
            Cancelled = true;
            return false;
        }
        return true;
    });
    if (!Header && !Cancelled)
        WriteHeader(-1);
    Out.Write(Text);
    Out.Close();
    return Done;
}

std::uint64_t ExportLog(THistoryStore& Store, const THistoryExport& Request, std::uint64_t Total,
                        const std::function<bool(std::uint64_t, std::uint64_t)>& Progress)
{
    TLocalDateTime At;
    TLocalClock Clock = [&At] { return At; };
    std::unique_ptr<ILogWriter> Writer;
    if (Request.Format == THistoryFormat::Tab) {
        // The TAB log continues a file; an export starts a new one.
        TOutFile(Request.OutPath).Close();
        Writer = std::make_unique<TTabLogWriter>(Request.Facts, Clock);
    } else {
        Writer = std::make_unique<TSylkLogWriter>(Clock);
    }
    Writer->Open(Request.OutPath);
    std::uint64_t Done = 0;
    try {
        Store.ReadTicks(Request.From, Request.To, [&](const THistoryTick& Tick, std::int64_t) {
            TLogRecordValues Values;
            for (int I = 0; I < ChannelCount; ++I)
                Values.Channels[static_cast<std::size_t>(I)] = {Tick.IsValid(I), Tick.Filtered[I]};
            At = LocalDateTimeAt(Tick.Time);
            Writer->WriteRecord(Values, static_cast<std::int32_t>(Done));
            ++Done;
            return Done % ProgressEvery != 0 || !Progress || Progress(Done, Total);
        });
    } catch (...) {
        try {
            Writer->Close();
        } catch (...) {
            // The export's own failure is the one raised; this close only tidies up.
        }
        throw;
    }
    Writer->Close();
    return Done;
}

} // namespace

std::optional<THistoryFormat> HistoryFormatNamed(std::string_view Name)
{
    if (Name == "csv")
        return THistoryFormat::Csv;
    if (Name == "tab")
        return THistoryFormat::Tab;
    if (Name == "sylk")
        return THistoryFormat::Sylk;
    return std::nullopt;
}

std::uint64_t ExportHistory(THistoryStore& Store, const THistoryExport& Request,
                            const std::function<bool(std::uint64_t, std::uint64_t)>& Progress)
{
    const std::uint64_t Total = Progress ? Store.CountTicks(Request.From, Request.To) : 0;
    const std::uint64_t Done = Request.Format == THistoryFormat::Csv
                                   ? ExportCsv(Store, Request, Total, Progress)
                                   : ExportLog(Store, Request, Total, Progress);
    if (Progress)
        Progress(Done, Total);
    return Done;
}

} // namespace kelvalog
