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

bool SameName(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
        return std::tolower(x) == std::tolower(y);
    });
}

TRecordedCall NewCall(const std::string& target, TInvokeKind kind, std::string_view member,
                      const std::vector<TVariant>& args)
{
    TRecordedCall call;
    call.Target = target;
    call.Kind = kind;
    call.Member = std::string(member);
    call.Args = args;
    return call;
}

class TRecordingObject : public TDispatch
{
public:
    TRecordingObject(std::shared_ptr<TRecordingJournal> journal, std::string label)
        : Journal(std::move(journal)), Label(std::move(label))
    {
    }

    TVariant Invoke(std::string_view name, TInvokeKind kind,
                    const std::vector<TVariant>& args) override
    {
        TRecordedCall& call = Journal->Record(NewCall(Label, kind, name, args));
        if (call.Failed)
            throw EAutomationError("recorded failure of " + call.Text());
        const auto member = std::find_if(Members.begin(), Members.end(), [&](const auto& info) {
            return SameName(info.Name, name);
        });
        if (member == Members.end() || (member->Kinds & static_cast<unsigned>(kind)) == 0) {
            call.Failed = true;
            throw EAutomationError("unknown member " + call.Text());
        }
        if (kind == TInvokeKind::PropertyPut || !member->ObjectValued)
            return {};
        call.Result = Journal->NextLabel(member->Name);
        return std::make_shared<TRecordingObject>(Journal, call.Result);
    }

    std::string Describe() const override { return Label; }

private:
    std::shared_ptr<TRecordingJournal> Journal;
    std::string Label;
};

const char* KindText(TInvokeKind kind)
{
    switch (kind) {
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
    std::string text;
    if (Target.empty()) {
        text = "create " + Member;
    } else {
        text = Target + ' ' + KindText(Kind) + ' ' + Member + '(';
        for (std::size_t i = 0; i < Args.size(); ++i)
            text += (i == 0 ? "" : ", ") + DescribeVariant(Args[i]);
        text += ')';
    }
    if (!Result.empty())
        text += " -> " + Result;
    if (Failed)
        text += " !";
    return text;
}

void TRecordingJournal::FailAt(int call, bool andLater)
{
    FailingCall = call;
    FailLater = andLater;
}

void TRecordingJournal::ClearFailure()
{
    FailingCall = 0;
    FailLater = false;
}

std::vector<std::string> TRecordingJournal::Lines() const
{
    std::vector<std::string> lines;
    lines.reserve(Calls.size());
    for (const auto& call : Calls)
        lines.push_back(call.Text());
    return lines;
}

TRecordedCall& TRecordingJournal::Record(TRecordedCall call)
{
    const int number = static_cast<int>(Calls.size()) + 1;
    call.Failed = FailingCall > 0 && (number == FailingCall || (FailLater && number > FailingCall));
    Calls.push_back(std::move(call));
    return Calls.back();
}

std::string TRecordingJournal::NextLabel(const std::string& member)
{
    auto counter = std::find_if(Counters.begin(), Counters.end(),
                                [&](const auto& entry) { return entry.first == member; });
    if (counter == Counters.end())
        counter = Counters.insert(Counters.end(), {member, 0});
    return member + std::to_string(++counter->second);
}

void RegisterRecordingServer(const std::string& progId, std::shared_ptr<TRecordingJournal> journal)
{
    RegisterAutomationServer(progId, [progId, journal]() -> TDispatchRef {
        TRecordedCall& call = journal->Record(NewCall("", TInvokeKind::Method, progId, {}));
        if (call.Failed)
            throw EAutomationError("recorded failure of " + call.Text());
        call.Result = journal->NextLabel("App");
        return std::make_shared<TRecordingObject>(journal, call.Result);
    });
}

} // namespace kelvalog
