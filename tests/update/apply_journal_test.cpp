#include "update/apply_journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<SApplyStep> Steps() {
    std::vector<SApplyStep> steps(3);
    steps[0].kind = SApplyStep::kMove;
    steps[0].number = 0;
    steps[0].existed = true;
    steps[0].target = L"bin\\m\u00f6dule one.dll";
    steps[0].source = L"UpdateVer\\bin\\m\u00f6dule one.dll";
    steps[1].kind = SApplyStep::kDelete;
    steps[1].number = 1;
    steps[1].existed = true;
    steps[1].target = L"old.txt";
    steps[2].kind = SApplyStep::kCopy;
    steps[2].number = 2;
    steps[2].existed = false;
    steps[2].target = L"UpdateInfo.ini";
    steps[2].source = L"UpdateVer\\UpdateInfo.ini";
    return steps;
}

std::string Journal(const std::vector<SApplyStep>& steps) {
    std::string bytes;
    std::string line;
    EXPECT_TRUE(FormatJournalHeader(L"1f-2a", line));
    bytes += line;
    for (const SApplyStep& step : steps) {
        EXPECT_TRUE(FormatJournalStep(step, line));
        bytes += line;
    }
    return bytes;
}

void ExpectSteps(const std::vector<SApplyStep>& read, const std::vector<SApplyStep>& written) {
    ASSERT_EQ(read.size(), written.size());
    for (size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].kind, written[i].kind) << i;
        EXPECT_EQ(read[i].number, written[i].number) << i;
        EXPECT_EQ(read[i].existed, written[i].existed) << i;
        EXPECT_EQ(read[i].target, written[i].target) << i;
        EXPECT_EQ(read[i].source, written[i].source) << i;
    }
}

}  // namespace

TEST(ApplyJournal, StepsComeBackAsWritten) {
    const std::vector<SApplyStep> written = Steps();
    std::wstring token;
    std::vector<SApplyStep> read;
    ASSERT_TRUE(ParseJournal(Journal(written), token, read));
    EXPECT_EQ(token, L"1f-2a");
    ExpectSteps(read, written);
}

TEST(ApplyJournal, ALineCutAnywhereEndsTheJournalBeforeIt) {
    const std::vector<SApplyStep> written = Steps();
    const std::string bytes = Journal(written);
    const size_t lastStart = bytes.rfind('\n', bytes.size() - 2) + 1;
    const std::vector<SApplyStep> before(written.begin(), written.end() - 1);
    for (size_t cut = lastStart; cut < bytes.size(); ++cut) {
        std::wstring token;
        std::vector<SApplyStep> read;
        ASSERT_TRUE(ParseJournal(bytes.substr(0, cut), token, read)) << cut;
        ExpectSteps(read, before);
        // A power cut may leave zeros where the line was to go.
        ASSERT_TRUE(ParseJournal(bytes.substr(0, cut) + std::string(40, '\0'), token, read)) << cut;
        ExpectSteps(read, before);
    }
    const size_t headerEnd = bytes.find('\n');
    for (size_t cut = 0; cut <= headerEnd; ++cut) {
        std::wstring token;
        std::vector<SApplyStep> read;
        EXPECT_FALSE(ParseJournal(bytes.substr(0, cut), token, read)) << cut;
        EXPECT_TRUE(read.empty());
    }
}

TEST(ApplyJournal, ACorruptLineEndsTheJournalThere) {
    const std::vector<SApplyStep> written = Steps();
    std::string bytes = Journal(written);
    const size_t second = bytes.find('\n', bytes.find('\n') + 1) + 1;
    bytes[second + 6] ^= 0x01;  // a byte of the delete step
    std::wstring token;
    std::vector<SApplyStep> read;
    ASSERT_TRUE(ParseJournal(bytes, token, read));
    ExpectSteps(read, {written[0]});
}

TEST(ApplyJournal, NamesThatALineCannotCarryAreRefused) {
    SApplyStep step = Steps()[0];
    std::string line;
    step.target = L"a\tb.dll";
    EXPECT_FALSE(FormatJournalStep(step, line));
    step.target = L"a.dll";
    step.source = L"UpdateVer\\a\n.dll";
    EXPECT_FALSE(FormatJournalStep(step, line));
    step.source.clear();
    EXPECT_FALSE(FormatJournalStep(step, line));
    EXPECT_FALSE(FormatJournalHeader(L"", line));
}
