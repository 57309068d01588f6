// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <thread>

#include "forms/fake_os.h"

using namespace forms;

namespace {

class RecordingOs : public ::testing::Test {
protected:
    FakeOs os;
    ScopedOs useOs{os};
};

}  // namespace

TEST_F(RecordingOs, ThePrivilegeSequenceIsRecordedWithItsArguments)
{
    HANDLE token = nullptr;
    ASSERT_TRUE(Os().OpenProcessToken(Os().GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    LUID luid{};
    ASSERT_TRUE(Os().LookupPrivilegeValueA(nullptr, SE_SYSTEMTIME_NAME, &luid));
    TOKEN_PRIVILEGES privileges{1, {{luid, SE_PRIVILEGE_ENABLED}}};
    Os().AdjustTokenPrivileges(token, FALSE, &privileges, 16, nullptr, nullptr);
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

    const auto calls = os.Calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[1].function, "OpenProcessToken");
    EXPECT_EQ(calls[1].arguments, "0xffffffffffffffff, 0x28");
    EXPECT_EQ(calls[2].arguments, "null, 'SeSystemtimePrivilege'");
    EXPECT_EQ(calls[3].arguments, "0x7700, 0, {1: luid 12, attributes 0x2}, 16, 0, 0");
    EXPECT_EQ(os.CallNames(), (std::vector<std::string>{"GetCurrentProcess", "OpenProcessToken",
                                                        "LookupPrivilegeValueA", "AdjustTokenPrivileges",
                                                        "GetLastError"}));
}

TEST_F(RecordingOs, ScriptedFailuresSetTheLastErrorOfTheCallingThread)
{
    os.adjustPrivilegesError = ERROR_NOT_ALL_ASSIGNED;
    os.setSystemTimeResult = FALSE;
    EXPECT_TRUE(Os().AdjustTokenPrivileges(nullptr, TRUE, nullptr, 0, nullptr, nullptr))
        << "Windows reports a partial success";
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED));

    const SYSTEMTIME time{2008, 3, 6, 15, 12, 34, 56, 789};
    std::thread other([&] {
        EXPECT_FALSE(Os().SetSystemTime(&time));
        EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
    });
    other.join();
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED)) << "per thread, as on Windows";
    ASSERT_EQ(os.TimesSet().size(), 1u);
    EXPECT_EQ(os.TimesSet()[0].wMilliseconds, 789);
    EXPECT_EQ(os.Calls()[2].arguments, "2008-03-15 12:34:56.789");

    os.openProcessTokenResult = FALSE;
    HANDLE token = nullptr;
    EXPECT_FALSE(Os().OpenProcessToken(nullptr, 0x28, &token));
    os.lookupPrivilegeResult = FALSE;
    LUID luid{};
    EXPECT_FALSE(Os().LookupPrivilegeValueA(nullptr, SE_SYSTEMTIME_NAME, &luid));
}

TEST_F(RecordingOs, MessageBoxesAreRecordedAndAnswered)
{
    EXPECT_EQ(Os().MessageBoxA(nullptr, "Failed", "Set time priviledge", MB_OK), IDOK);
    os.answerMessageBox = [](const MessageBoxCall& box) { return box.caption == "Question" ? IDNO : IDOK; };
    EXPECT_EQ(Os().MessageBoxA(nullptr, "Sure?", "Question", MB_YESNO), IDNO);
    const auto boxes = os.MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Failed");
    EXPECT_EQ(boxes[0].caption, "Set time priviledge");
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[1].type, static_cast<UINT>(MB_YESNO));
}

TEST_F(RecordingOs, TrayWindowAndSystemCallsKeepTheirRecords)
{
    NOTIFYICONDATAA data{};
    data.cbSize = 488;
    data.uID = 1;
    data.hIcon = reinterpret_cast<HICON>(0x7010);
    EXPECT_TRUE(Os().Shell_NotifyIconA(NIM_ADD, &data));
    data.hIcon = reinterpret_cast<HICON>(0x7020);
    EXPECT_TRUE(Os().Shell_NotifyIconA(NIM_MODIFY, &data));
    const auto tray = os.NotifyIconCalls();
    ASSERT_EQ(tray.size(), 2u);
    EXPECT_EQ(tray[0].message, NIM_ADD);
    EXPECT_EQ(tray[0].data.hIcon, reinterpret_cast<HICON>(0x7010)) << "a copy taken at the call";
    EXPECT_EQ(tray[1].data.cbSize, 488u);

    os.cursorPos = {300, 400};
    POINT where{};
    Os().GetCursorPos(&where);
    EXPECT_EQ(where.x, 300);
    EXPECT_EQ(where.y, 400);
    Os().ShowWindow(reinterpret_cast<HWND>(0xA000), SW_MINIMIZE);
    EXPECT_EQ(os.Calls().back().arguments, "0xa000, 6");

    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(Os().GetVersionExA(&version));
    EXPECT_EQ(version.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    version.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(Os().GetVersionExA(&version)) << "a record of the wrong size";

    SYSTEMTIME now{};
    Os().GetSystemTime(&now);
    EXPECT_EQ(now.wYear, 2008);
    os.ClearCalls();
    EXPECT_TRUE(os.Calls().empty());
}
