#include "update/apply_journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::vector<SApplyStep> kSteps = {
    {SApplyStep::kMakeDir, 0, false, L"bin\\n\u00f6w", L""},
    {SApplyStep::kMove, 0, true, L"bin\\m\u00f6dule one.dll", L"UpdateVer\\bin\\m\u00f6dule one.dll"},
    {SApplyStep::kDelete, 1, true, L"old.txt", L""},
    {SApplyStep::kCopy, 2, false, L"UpdateInfo.ini", L"UpdateVer\\UpdateInfo.ini"},
};

std::string Journal() {
    std::string bytes;
    std::string line;
    EXPECT_TRUE(FormatJournalHeader(L"1f-2a", line));
    bytes += line;
    for (const SApplyStep& step : kSteps) {
        EXPECT_TRUE(FormatJournalStep(step, line));
        bytes += line;
    }
    return bytes;
}

// The steps read back from bytes, as their records; empty when the header fails.
std::vector<std::string> Read(const std::string& bytes) {
    std::wstring token;
    std::vector<SApplyStep> steps;
    std::vector<std::string> records;
    if (!ParseJournal(bytes, token, steps) || token != L"1f-2a") return records;
    for (const SApplyStep& step : steps) {
        std::string line;
        FormatJournalStep(step, line);
        records.push_back(line);
    }
    return records;
}

}  // namespace

TEST(ApplyJournal, ALineCutOrDamagedAnywhereEndsTheJournalBeforeIt) {
    const std::string bytes = Journal();
    const std::vector<std::string> all = Read(bytes);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(Journal().substr(bytes.find('\n') + 1), all[0] + all[1] + all[2] + all[3]);
    const size_t lastStart = bytes.rfind('\n', bytes.size() - 2) + 1;
    const std::vector<std::string> before(all.begin(), all.end() - 1);
    for (size_t cut = lastStart; cut < bytes.size(); ++cut) {
        EXPECT_EQ(Read(bytes.substr(0, cut)), before) << cut;
        // A power cut may leave zeros where the line was to go.
        EXPECT_EQ(Read(bytes.substr(0, cut) + std::string(40, '\0')), before) << cut;
    }
    for (size_t cut = 0; cut <= bytes.find('\n'); ++cut) EXPECT_TRUE(Read(bytes.substr(0, cut)).empty()) << cut;
    std::string damaged = bytes;
    damaged[bytes.find("old.txt")] ^= 0x01;
    EXPECT_EQ(Read(damaged), (std::vector<std::string>{all[0], all[1]}));
}

TEST(ApplyJournal, NamesThatALineCannotCarryAreRefused) {
    std::string line;
    SApplyStep step = kSteps[1];
    step.target = L"a\tb.dll";
    EXPECT_FALSE(FormatJournalStep(step, line));
    step = kSteps[1];
    step.source = L"UpdateVer\\a\n.dll";
    EXPECT_FALSE(FormatJournalStep(step, line));
    step.source.clear();
    EXPECT_FALSE(FormatJournalStep(step, line));
}
