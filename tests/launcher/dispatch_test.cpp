#include "launcher/dispatch.h"

#include <gtest/gtest.h>

#include "launcher/client_module.h"
#include "vocabulary/command_string.h"
#include "recording_launcher_host.h"

namespace {

std::wstring CommandString(const std::wstring& text) { return EncodeCmdLine(L"qkmt:", text); }

class DispatchTest : public ::testing::Test {
protected:
    RecordingLauncherHost host;

    const RecordingLauncherHost::Call& OnlyCall() {
        EXPECT_EQ(host.calls.size(), 1u);
        EXPECT_TRUE(host.calls.front().afterRecovery) << "an unfinished apply is settled first";
        return host.calls.front();
    }
};

}  // namespace

TEST(CommandType, DoValuesAreCaseSensitiveSubstringsInOrder) {
    EXPECT_EQ(CommandTypeOfDo(L"restart"), CMD_TYPE_START);
    EXPECT_EQ(CommandTypeOfDo(L"Start"), CMD_TYPE_NONE);
    EXPECT_EQ(CommandTypeOfDo(L"update"), CMD_TYPE_UPDATE);
    EXPECT_EQ(CommandTypeOfDo(L"stop"), CMD_TYPE_STOP);
    EXPECT_EQ(CommandTypeOfDo(L"cfg"), CMD_TYPE_CFG);
    EXPECT_EQ(CommandTypeOfDo(L"stopupdate"), CMD_TYPE_STOP);
    EXPECT_EQ(CommandTypeOfDo(L""), CMD_TYPE_NONE);
}

TEST(ClientModule, MeetingTypesChooseTheirModules) {
    auto name = [](int type, const wchar_t* oem, bool tv) {
        return std::wstring(kClientModules[ClientModuleIndex(type, oem, tv)]);
    };
    EXPECT_EQ(name(0, L"ZOLTA", false), L"QKPstnMeeting.dll");
    EXPECT_EQ(name(0, L"ZOLTA", true), L"QKPstnMeeting.dll");
    EXPECT_EQ(name(1, L"ZOLTA", false), L"QKNetMeeting.dll");
    EXPECT_EQ(name(1, L"ZOLTA", true), L"TVNetMeeting.dll");
    EXPECT_EQ(name(2, L"ZOLTA", false), L"MeetingMgrClient.dll");
    EXPECT_EQ(name(2, L"ZOLTA", true), L"TVMeetingMgr.dll");
    EXPECT_EQ(name(3, L"ZOLTA", true), L"MeetingMgrClient.dll");
    for (int type = 0; type <= 3; ++type) {
        EXPECT_EQ(name(type, L"TALKLANE", true), L"TALKLANEMeeting.dll");
    }
    EXPECT_EQ(name(1, L"talklane", false), L"QKNetMeeting.dll");
}

TEST_F(DispatchTest, EmptyLineCallsTheMeetMgrModuleWithIt) {
    host.modules = {L"MeetingMgrClient.dll"};
    EXPECT_EQ(Dispatch(host, L""), 7);
    EXPECT_EQ(OnlyCall().action, L"client");
    EXPECT_EQ(OnlyCall().what, L"MeetingMgrClient.dll");
    EXPECT_EQ(OnlyCall().line, L"");
}

TEST_F(DispatchTest, MissingModuleForPlainLineGivesMinusOneWithoutUpdate) {
    EXPECT_EQ(Dispatch(host, L"-do=stop"), -1);
    EXPECT_EQ(OnlyCall().action, L"client");
}

TEST_F(DispatchTest, TvEditionChangesTheDefaultModule) {
    host.tvEdition = true;
    host.modules = {L"TVMeetingMgr.dll"};
    EXPECT_EQ(Dispatch(host, L"-do=cfg"), 7);
    EXPECT_EQ(OnlyCall().what, L"TVMeetingMgr.dll");
    EXPECT_EQ(OnlyCall().line, L"-do=cfg");
}

TEST_F(DispatchTest, DoUpdateRunsTheUpdaterWithParam) {
    EXPECT_EQ(Dispatch(host, L"-do=update -param=qkmt:LUE9MQ=="), 42);
    EXPECT_EQ(OnlyCall().action, L"update");
    EXPECT_EQ(OnlyCall().line, L"qkmt:LUE9MQ==");
}

TEST_F(DispatchTest, DoUpdateWithoutParamGivesTheUpdaterAnEmptyString) {
    Dispatch(host, L"-do=update");
    EXPECT_EQ(OnlyCall().action, L"update");
    EXPECT_EQ(OnlyCall().line, L"");
}

TEST_F(DispatchTest, DoStartDecodesParamAndCallsItsModule) {
    host.modules = {L"QKNetMeeting.dll"};
    const std::wstring cmd = CommandString(L"-MEETTYPE=MAIN\n-MEET=123\n");
    EXPECT_EQ(Dispatch(host, L"-do=restart -param=" + cmd), 7);
    EXPECT_EQ(OnlyCall().what, L"QKNetMeeting.dll");
    EXPECT_EQ(OnlyCall().line, cmd);
}

TEST_F(DispatchTest, CapitalStartIsNotAStart) {
    host.modules = {L"MeetingMgrClient.dll", L"QKNetMeeting.dll"};
    Dispatch(host, L"-do=Start -param=" + CommandString(L"-MEETTYPE=MAIN"));
    EXPECT_EQ(OnlyCall().what, L"MeetingMgrClient.dll");
}

TEST_F(DispatchTest, CommandStringChoosesModuleByMeetType) {
    struct Case {
        const wchar_t* text;
        const wchar_t* module;
    } cases[] = {
        {L"-MEETTYPE=PSTN", L"QKPstnMeeting.dll"},
        {L"-MEETTYPE=MAIN", L"QKNetMeeting.dll"},
        {L"-MEETTYPE=MEETMGR", L"MeetingMgrClient.dll"},
        {L"-MEETTYPE=main", L"MeetingMgrClient.dll"},
        {L"-MEET=1", L"MeetingMgrClient.dll"},
    };
    host.modules = {L"QKPstnMeeting.dll", L"QKNetMeeting.dll", L"MeetingMgrClient.dll"};
    for (const Case& c : cases) {
        host.calls.clear();
        const std::wstring cmd = CommandString(c.text);
        EXPECT_EQ(Dispatch(host, cmd), 7) << c.text;
        EXPECT_EQ(OnlyCall().what, c.module) << c.text;
        EXPECT_EQ(OnlyCall().line, cmd);
    }
}

TEST_F(DispatchTest, CommandStringWithMissingModuleUpdatesFirst) {
    const std::wstring cmd = CommandString(L"-MEETTYPE=MAIN");
    EXPECT_EQ(Dispatch(host, cmd), 42);
    EXPECT_EQ(OnlyCall().action, L"update");
    EXPECT_EQ(OnlyCall().line, cmd);
}

TEST_F(DispatchTest, RunningFromUpdateVerAlwaysUpdates) {
    host.modules = {L"QKNetMeeting.dll"};
    host.fromUpdateVer = true;
    EXPECT_EQ(Dispatch(host, CommandString(L"-MEETTYPE=MAIN")), 42);
    EXPECT_EQ(OnlyCall().action, L"update");
}

TEST_F(DispatchTest, UndecodableCommandStringGivesMinusOne) {
    host.modules = {L"MeetingMgrClient.dll"};
    EXPECT_EQ(Dispatch(host, L"qkmt:not base64!"), -1);
    EXPECT_EQ(Dispatch(host, L"  qkmt:LUE9MQ=="), -1);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(DispatchTest, ShippedEntranceTableFallsThroughToDo) {
    host.modules = {L"MeetingMgrClient.dll"};
    EXPECT_EQ(Dispatch(host, L"-fromDesktop"), 7);
    EXPECT_EQ(Dispatch(host, L"-entrance -do=update"), 42);
    EXPECT_EQ(Dispatch(host, L"-fromStartMenu"), 7);
    ASSERT_EQ(host.calls.size(), 3u);
    EXPECT_EQ(host.calls[1].action, L"update");
}

TEST_F(DispatchTest, EntranceTableOpensHomeOrItsTarget) {
    host.entranceTable = L"-fromDesktop=defweb;-fromStartMenu=http://other.example.org/x;";
    EXPECT_EQ(Dispatch(host, L"-entrance"), 0);
    EXPECT_EQ(Dispatch(host, L"-fromStartMenu"), 0);
    host.openResult = -1;
    EXPECT_EQ(Dispatch(host, L"-fromDesktop"), -1);
    ASSERT_EQ(host.calls.size(), 3u);
    EXPECT_EQ(host.calls[0].what, L"http://meeting.example.com/ClientEntrance");
    EXPECT_EQ(host.calls[1].what, L"http://other.example.org/x");
    EXPECT_EQ(host.calls[2].action, L"open");
}

TEST_F(DispatchTest, HugeCommandLineIsHandled) {
    host.modules = {L"MeetingMgrClient.dll"};
    std::wstring line(1 << 20, L'x');
    EXPECT_EQ(Dispatch(host, line), 7);
    EXPECT_EQ(OnlyCall().line.size(), line.size());
}
