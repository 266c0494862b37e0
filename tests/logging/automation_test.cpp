#include "logging/automation/automationregistry.h"
#include "logging/automation/recordingserver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kelvalog {
namespace {

using ::testing::ElementsAre;

// Answers every call with its own kind, to show what the caller asked for.
class TKindEcho : public TDispatch
{
public:
    TVariant Invoke(std::string_view, TInvokeKind kind, const std::vector<TVariant>&) override
    {
        return static_cast<std::int32_t>(kind);
    }
};

TEST(AutomationRegistry, CreatesByIdentifierWithoutRegardToCase)
{
    int started = 0;
    RegisterAutomationServer("Test.Echo", [&] {
        ++started;
        return std::make_shared<TKindEcho>();
    });
    EXPECT_TRUE(IsAutomationServerRegistered("test.ECHO"));
    const TDispatchRef first = CreateOleObject("TEST.echo");
    const TDispatchRef second = CreateOleObject("Test.Echo");
    EXPECT_NE(first, second);
    EXPECT_EQ(started, 2);
    UnregisterAutomationServer("test.echo");
    EXPECT_THROW(CreateOleObject("Test.Echo"), EAutomationError);
}

TEST(AutomationRegistry, StartFailuresBecomeAutomationErrors)
{
    EXPECT_THROW(CreateOleObject("Nobody.Registered"), EAutomationError);
    RegisterAutomationServer("Test.Broken",
                             []() -> TDispatchRef { throw std::runtime_error("cannot start"); });
    EXPECT_THROW(CreateOleObject("Test.Broken"), EAutomationError);
    RegisterAutomationServer("Test.Broken", [] { return TDispatchRef{}; });
    EXPECT_THROW(CreateOleObject("Test.Broken"), EAutomationError);
    UnregisterAutomationServer("Test.Broken");
}

TEST(AutomationCalls, KindsFollowTheFormOfTheCall)
{
    const TVariant echo = TDispatchRef(std::make_shared<TKindEcho>());
    EXPECT_EQ(IntegerArg(GetProperty(echo, "X")), static_cast<int>(TInvokeKind::MethodOrGet));
    EXPECT_EQ(IntegerArg(GetProperty(echo, "X", {1})), static_cast<int>(TInvokeKind::PropertyGet));
    EXPECT_EQ(IntegerArg(CallMethod(echo, "X")), static_cast<int>(TInvokeKind::Method));
    EXPECT_THROW(SetProperty(echo, "X", {}), EAutomationError);
}

TEST(AutomationCalls, CallsOnSomethingThatIsNoObjectFail)
{
    for (const TVariant& target : {TVariant{}, TVariant{std::int32_t{1}},
                                   TVariant{std::string("x")}, TVariant{TDispatchRef{}}}) {
        EXPECT_THROW(GetProperty(target, "Name"), EAutomationError);
        EXPECT_THROW(SetProperty(target, "Name", {std::string("x")}), EAutomationError);
        EXPECT_THROW(CallMethod(target, "Quit"), EAutomationError);
    }
}

TEST(AutomationCalls, ArgumentsOfTheWrongTypeAreRefused)
{
    EXPECT_THROW(IntegerArg(std::string("1")), EAutomationError);
    EXPECT_THROW(TextArg(std::int32_t{1}), EAutomationError);
    EXPECT_THROW(BooleanArg(std::int32_t{1}), EAutomationError);
    EXPECT_THROW(ObjectArg(TDispatchRef{}), EAutomationError);
    EXPECT_DOUBLE_EQ(NumberArg(std::int32_t{20}), 20.0);
    EXPECT_DOUBLE_EQ(NumberArg(20.5), 20.5);
    EXPECT_THROW(NumberArg(true), EAutomationError);
}

class RecordingServer : public ::testing::Test
{
protected:
    void SetUp() override { RegisterRecordingServer(RecordingServerProgId, Journal); }
    void TearDown() override { UnregisterAutomationServer(RecordingServerProgId); }
    std::shared_ptr<TRecordingJournal> Journal = std::make_shared<TRecordingJournal>();
};

TEST_F(RecordingServer, RefusesNamesAndUsesItDoesNotKnow)
{
    const TVariant app = CreateOleObject(RecordingServerProgId);
    EXPECT_THROW(GetProperty(app, "Workbook"), EAutomationError);
    EXPECT_THROW(SetProperty(app, "Quit", {true}), EAutomationError);
    EXPECT_THROW(CallMethod(app, "ActiveSheet"), EAutomationError);
    const TVariant sheet = GetProperty(app, "activesheet");
    SetProperty(sheet, "Cells", {1, 2, std::string("3")});
    EXPECT_THAT(Journal->Lines(),
                ElementsAre("create Kelvalog.RecordingServer -> App1", "App1 get Workbook() !",
                            "App1 put Quit(true) !", "App1 call ActiveSheet() !",
                            "App1 get activesheet() -> ActiveSheet1",
                            "ActiveSheet1 put Cells(1, 2, \"3\")"));
}

TEST_F(RecordingServer, FailsAtTheChosenCallAndOptionallyAfter)
{
    Journal->FailAt(3);
    const TVariant app = CreateOleObject(RecordingServerProgId);
    SetProperty(app, "Visible", {true});
    EXPECT_THROW(SetProperty(app, "Visible", {true}), EAutomationError);
    SetProperty(app, "Visible", {false});

    Journal->FailAt(5, true);
    EXPECT_THROW(CallMethod(app, "Quit"), EAutomationError);
    EXPECT_THROW(CallMethod(app, "Quit"), EAutomationError);
    Journal->ClearFailure();
    CallMethod(app, "Quit");

    std::vector<bool> failed;
    for (const auto& call : Journal->Calls)
        failed.push_back(call.Failed);
    EXPECT_THAT(failed, ElementsAre(false, false, true, false, true, true, false));
}

TEST_F(RecordingServer, CreationItselfCanFail)
{
    Journal->FailAt(1);
    EXPECT_THROW(CreateOleObject(RecordingServerProgId), EAutomationError);
    EXPECT_NO_THROW(CreateOleObject(RecordingServerProgId));
    EXPECT_THAT(Journal->Lines(), ElementsAre("create Kelvalog.RecordingServer !",
                                              "create Kelvalog.RecordingServer -> App1"));
}

} // namespace
} // namespace kelvalog
