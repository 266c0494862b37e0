#include "logging/automation/recordingserver.h"

#include "logging/automation/automationregistry.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace kelvalog {

namespace {

struct TMemberInfo
{
    const char* Name;
    unsigned Kinds;
    bool ObjectValued;
};

constexpr unsigned GetKinds = static_cast<unsigned>(TInvokeKind::PropertyGet);
constexpr unsigned PutKinds = static_cast<unsigned>(TInvokeKind::PropertyPut);
constexpr unsigned CallKinds = static_cast<unsigned>(TInvokeKind::Method);

constexpr std::array<TMemberInfo, 11> Members{{
    {"Visible", GetKinds | PutKinds, false},
    {"Workbooks", GetKinds | CallKinds, true},
    {"Add", CallKinds, false},
    {"ActiveSheet", GetKinds, true},
    {"Name", GetKinds | PutKinds, false},
    {"Columns", GetKinds | CallKinds, true},
    {"NumberFormat", GetKinds | PutKinds, false},
    {"ColumnWidth", GetKinds | PutKinds, false},
    {"Cells", GetKinds | PutKinds, true},
    {"Application", GetKinds, true},
    {"Quit", CallKinds, false},
}};

bool SameName(std::string_view A, std::string_view B)
{
    return std::equal(A.begin(), A.end(), B.begin(), B.end(), [](unsigned char X, unsigned char Y) {
        return std::tolower(X) == std::tolower(Y);
    });
}

TRecordedCall NewCall(const std::string& Target, TInvokeKind Kind, std::string_view Member,
                      const std::vector<TVariant>& Args)
{
    TRecordedCall Call;
    Call.Target = Target;
    Call.Kind = Kind;
    Call.Member = std::string(Member);
    Call.Args = Args;
    return Call;
}

class TRecordingObject : public TDispatch
{
public:
    TRecordingObject(std::shared_ptr<TRecordingJournal> Journal, std::string Label)
        : FJournal(std::move(Journal)), FLabel(std::move(Label))
    {
    }

    TVariant Invoke(std::string_view Name, TInvokeKind Kind,
                    const std::vector<TVariant>& Args) override
    {
        TRecordedCall& Call = FJournal->Record(NewCall(FLabel, Kind, Name, Args));
        if (Call.Failed)
            throw EAutomationError("recorded failure of " + Call.Text());
        const auto Member = std::find_if(Members.begin(), Members.end(), [&](const auto& Info) {
            return SameName(Info.Name, Name);
        });
        if (Member == Members.end() || (Member->Kinds & static_cast<unsigned>(Kind)) == 0) {
            Call.Failed = true;
            throw EAutomationError("unknown member " + Call.Text());
        }
        if (Kind == TInvokeKind::PropertyPut || !Member->ObjectValued)
            return {};
        Call.Result = FJournal->NextLabel(Member->Name);
        return std::make_shared<TRecordingObject>(FJournal, Call.Result);
    }

    std::string Describe() const override { return FLabel; }

private:
    std::shared_ptr<TRecordingJournal> FJournal;
    std::string FLabel;
};

const char* KindText(TInvokeKind Kind)
{
    switch (Kind) {
    case TInvokeKind::Method:
        return "call";
    case TInvokeKind::PropertyPut:
        return "put";
    default:
        return "get";
    }
}

} // namespace

std::string TRecordedCall::Text() const
{
    std::string Text;
    if (Target.empty()) {
        Text = "create " + Member;
    } else {
        Text = Target + ' ' + KindText(Kind) + ' ' + Member + '(';
        for (std::size_t I = 0; I < Args.size(); ++I)
            Text += (I == 0 ? "" : ", ") + DescribeVariant(Args[I]);
        Text += ')';
    }
    if (!Result.empty())
        Text += " -> " + Result;
    if (Failed)
        Text += " !";
    return Text;
}

void TRecordingJournal::FailAt(int Call, bool AndLater)
{
    FAilingCall = Call;
    FAilLater = AndLater;
}

void TRecordingJournal::ClearFailure()
{
    FAilingCall = 0;
    FAilLater = false;
}

std::vector<std::string> TRecordingJournal::Lines() const
{
    std::vector<std::string> Lines;
    Lines.reserve(Calls.size());
    for (const auto& Call : Calls)
        Lines.push_back(Call.Text());
    return Lines;
}

TRecordedCall& TRecordingJournal::Record(TRecordedCall Call)
{
    const int Number = static_cast<int>(Calls.size()) + 1;
    Call.Failed = FAilingCall > 0 && (Number == FAilingCall || (FAilLater && Number > FAilingCall));
    Calls.push_back(std::move(Call));
    return Calls.back();
}

std::string TRecordingJournal::NextLabel(const std::string& Member)
{
    auto Counter = std::find_if(FCounters.begin(), FCounters.end(),
                                [&](const auto& Entry) { return Entry.first == Member; });
    if (Counter == FCounters.end())
        Counter = FCounters.insert(FCounters.end(), {Member, 0});
    return Member + std::to_string(++Counter->second);
}

void RegisterRecordingServer(const std::string& ProgId, std::shared_ptr<TRecordingJournal> Journal)
{
    RegisterAutomationServer(ProgId, [ProgId, Journal]() -> TDispatchRef {
        TRecordedCall& Call = Journal->Record(NewCall("", TInvokeKind::Method, ProgId, {}));
        if (Call.Failed)
            throw EAutomationError("recorded failure of " + Call.Text());
        Call.Result = Journal->NextLabel("App");
        return std::make_shared<TRecordingObject>(Journal, Call.Result);
    });
}

} // namespace kelvalog
