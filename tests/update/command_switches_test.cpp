#include <gtest/gtest.h>

#include "update/command_switches.h"

TEST(CommandSwitches, PlainCommandWaitsForExit) {
    const SCommandSwitches s = ParseCommandSwitches(L"\"C:\\app\\setup.exe\" -q", true);
    EXPECT_EQ(s.commandLine, L"\"C:\\app\\setup.exe\" -q");
    EXPECT_FALSE(s.elevated);
    EXPECT_EQ(s.waitMode, L"WAITEXIT");
    EXPECT_FALSE(s.onlyIfPresent);
}

TEST(CommandSwitches, WaitWordsAndIdle) {
    SCommandSwitches s = ParseCommandSwitches(L"run.exe /WAIT_Ready -x", true);
    EXPECT_EQ(s.waitMode, L"WAIT_Ready");
    EXPECT_EQ(s.commandLine, L"run.exe -x");

    s = ParseCommandSwitches(L"run.exe -x /WAITIDLE", true);
    EXPECT_EQ(s.waitMode, L"WAITIDLE");
    EXPECT_EQ(s.commandLine, L"run.exe -x");

    // " /WAIT" alone, before a space or at the end: the mode WAIT, which does not wait.
    s = ParseCommandSwitches(L"run.exe /WAIT -x", true);
    EXPECT_EQ(s.waitMode, L"WAIT");
    EXPECT_EQ(s.commandLine, L"run.exe -x");
    s = ParseCommandSwitches(L"run.exe /WAIT", true);
    EXPECT_EQ(s.waitMode, L"WAIT");
    EXPECT_EQ(s.commandLine, L"run.exe");

    // Only the first " /WAIT" word is read; a later " /WAITIDLE" still sets idle.
    s = ParseCommandSwitches(L"run.exe /WAIT_A /WAITIDLE", true);
    EXPECT_EQ(s.waitMode, L"WAITIDLE");
    EXPECT_EQ(s.commandLine, L"run.exe");
}

TEST(CommandSwitches, AdminOnlyWhereElevationExists) {
    SCommandSwitches s = ParseCommandSwitches(L"setup.exe /ADMIN -q /ADMIN", true);
    EXPECT_TRUE(s.elevated);
    EXPECT_EQ(s.commandLine, L"setup.exe -q");

    s = ParseCommandSwitches(L"setup.exe /ADMIN -q", false);
    EXPECT_FALSE(s.elevated);
    EXPECT_EQ(s.commandLine, L"setup.exe /ADMIN -q");
}

TEST(CommandSwitches, DoWhenExistAndAllTogether) {
    const SCommandSwitches s = ParseCommandSwitches(L"\"C:\\a b\\c.exe\" /DOWHENEXIST /ADMIN /WAIT_Ev -p", true);
    EXPECT_TRUE(s.onlyIfPresent);
    EXPECT_TRUE(s.elevated);
    EXPECT_EQ(s.waitMode, L"WAIT_Ev");
    EXPECT_EQ(s.commandLine, L"\"C:\\a b\\c.exe\" -p");
}

TEST(CommandSwitches, SwitchesAtTheStartAreNoSwitches) {
    const SCommandSwitches s = ParseCommandSwitches(L" /ADMIN", true);
    EXPECT_FALSE(s.elevated);
    EXPECT_EQ(s.commandLine, L" /ADMIN");
    const SCommandSwitches w = ParseCommandSwitches(L" /WAITIDLE", true);
    EXPECT_EQ(w.waitMode, L"WAITEXIT");
    EXPECT_EQ(w.commandLine, L" /WAITIDLE");
}
