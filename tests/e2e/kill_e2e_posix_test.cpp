// An update killed at any moment, as a power cut would end it: every process
// of the installation is killed at once. The launcher, started once without
// any server, must then leave exactly one release installed, the old or the
// new, never a mix; a normal rerun must then finish the update, and the
// installation must equal the new release.
//
// ZM_KILL_MOMENTS sets how many moments are tried (default 8). Three in four
// are spread by the updater's log lines over the apply (the file moves, the
// older updater copy, the update-info file); the others over the whole
// update, by log lines (the many short steps) and by time (the long
// downloads).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "e2e_support.h"
#include "release_pair.h"

namespace {

using namespace e2e;
using Clock = std::chrono::steady_clock;

const size_t kFileCount = 40;
const size_t kFileSize = 64 * 1024;
const long long kServerRate = 2 * 1024 * 1024;

// The updater's log lines that mark steps: every level but debug, whose
// lines (one per piece of a download) would crowd out the rest.
std::vector<std::string> LogLines(const Installation& app) {
    std::vector<std::string> lines;
    const std::string text = app.LogText();
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end - start);
        if (line.find("][DBG][") == std::string::npos) lines.push_back(line);
    }
    return lines;
}

// Waits until the updater's log holds count lines (or the updater ended
// without them); false when it never did.
bool WaitForLogLines(const Installation& app, size_t count) {
    const auto deadline = Clock::now() + std::chrono::seconds(kDriverTimeoutSeconds);
    // A process just forked does not yet name the installation: "ended" is
    // a second without any process that does.
    auto seen = Clock::now();
    while (Clock::now() < deadline && Clock::now() - seen < std::chrono::seconds(1)) {
        if (LogLines(app).size() >= count) return true;
        if (AnyProcessIn(app.Dir())) seen = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

// The first and the last line of the apply in a run's lines: from the first
// file moved into place to the update-info file installed.
std::pair<size_t, size_t> ApplyLines(const std::vector<std::string>& lines) {
    size_t first = lines.size();
    size_t last = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find("] MoveFile:'") != std::string::npos) first = std::min(first, i);
        if (lines[i].find("] Update finger file...") != std::string::npos) last = i;
    }
    return {first, last};
}

int Moments() {
    const char* text = std::getenv("ZM_KILL_MOMENTS");
    const int moments = text == nullptr ? 0 : std::atoi(text);
    return moments > 0 ? moments : 8;
}

class KillE2e : public ReleasePairSuite<kFileCount, kFileSize> {
protected:
    void SetUp() override {
        ReleasePairSuite::SetUp();
        if (HasFatalFailure()) return;
        for (int i = 0; i < 3; ++i) {
            ServerOptions options;
            options.root = releases_->Output().string();
            options.rate = kServerRate;
            servers_.Add(options);
        }
        commandString_ = Installation::CommandString("-SPVER=pc-" + std::string(ReleasePair::kNewVersion) +
                                                     "\n-UPURL=" + servers_.Urls() + "\n-MEET=8801;x\n");
    }

    ServerSet servers_;
    std::string commandString_;
};

TEST_F(KillE2e, AfterAKillAtAnyMomentTheLauncherLeavesOneReleaseAndARerunFinishes) {
    // An update that runs to its end: how long it takes and what it logs.
    Installation reference;
    reference.CopyFrom(releases_->V1());
    const size_t linesBefore = LogLines(reference).size();
    const pid_t first = reference.StartUpdater({commandString_});
    // Times count from the updater's first line: killing Wine while it starts
    // a process tests Wine, and can leave it unable to start the next.
    ASSERT_TRUE(WaitForLogLines(reference, linesBefore + 1));
    const auto started = Clock::now();
    ASSERT_EQ(reference.WaitToEnd(first).result, 0);
    const auto duration = Clock::now() - started;
    const std::vector<std::string> all = LogLines(reference);
    const std::vector<std::string> run(all.begin() + long(linesBefore), all.end());
    const size_t lines = run.size();
    ASSERT_EQ(releases_->DifferencesFromV2(reference), std::vector<std::string>());
    ASSERT_GT(lines, 10u);
    const std::pair<size_t, size_t> apply = ApplyLines(run);
    ASSERT_LT(apply.first, apply.second);

    const int moments = Moments();
    const int applyMoments = moments - moments / 4;
    int interrupted = 0;
    int rolledBack = 0;
    for (int k = 1; k <= moments; ++k) {
        Installation app;
        app.CopyFrom(releases_->V1());
        const size_t base = LogLines(app).size();
        const pid_t updater = app.StartUpdater({commandString_});
        std::string how;
        if (k <= applyMoments) {
            // Lines first to last of the apply, the first just before it.
            const size_t line = apply.first + (apply.second + 1 - apply.first) * size_t(k - 1) / size_t(applyMoments);
            how = "apply line " + std::to_string(line + 1);
            WaitForLogLines(app, base + line + 1);
        } else {
            const int j = k - applyMoments;
            const int others = moments - applyMoments;
            const double share = double((j + 1) / 2) / double((others + 1) / 2 + 1);
            if (j % 2 == 1) {
                how = "line " + std::to_string(int(share * 100)) + "%";
                WaitForLogLines(app, base + std::max<size_t>(1, size_t(double(lines) * share)));
            } else {
                how = "time " + std::to_string(int(share * 100)) + "%";
                if (WaitForLogLines(app, base + 1))
                    std::this_thread::sleep_for(std::chrono::duration_cast<Clock::duration>(duration * share));
            }
        }
        const int killed = KillProcessesIn(app.Dir());
        WaitForWine(updater, 30);
        const std::vector<std::string> log = LogLines(app);
        const std::string moment = "moment " + std::to_string(k) + " (" + how + "), after: " +
                                   (log.size() > base ? log.back() : std::string("nothing logged"));
        SCOPED_TRACE(moment);
        std::cout << moment << (killed > 0 ? "" : " [the update had ended]") << std::endl;
        interrupted += killed > 0 && !releases_->DifferencesFromV2(app).empty();
        releases_->ExpectOnlyReleaseFiles(app);

        // The launcher, with no server to ask: one release, whole.
        servers_.ClearRequests();
        const pid_t launcher = StartUnderWine(app.Path("ZOLTAMeeting.exe"), {"-do=stop"}, {});
        EXPECT_GE(WaitForWine(launcher, 120), 0);
        const std::map<std::string, std::string> installed = app.Contents();
        const bool isV1 = installed == releases_->V1Files();
        const bool isV2 = installed == releases_->V2Files();
        EXPECT_TRUE(isV1 || isV2) << "a mix of both releases: "
                                  << ::testing::PrintToString(releases_->DifferencesFromV2(app));
        EXPECT_FALSE(app.Exists(Installation::kUndoFolder));
        EXPECT_TRUE(servers_.FileRequests().empty());
        rolledBack += isV1 && !isV2;
        std::cout << "  launcher: " << (isV2 ? "release 2.5" : isV1 ? "release 1" : "a mix") << std::endl;

        const auto rerunStarted = Clock::now();
        const DriverReport rerun = app.RunToEnd({commandString_});
        std::cout << "  rerun: result " << rerun.result << " in "
                  << std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - rerunStarted).count()
                  << " ms" << std::endl;
        // The client the rerun started has nothing left to do.
        KillProcessesIn(app.Dir());
        EXPECT_EQ(rerun.result, 0);
        EXPECT_EQ(releases_->DifferencesFromV2(app), std::vector<std::string>());
        if (HasFailure()) break;
    }
    // Most moments fell inside the update; a loaded machine may end a few early.
    EXPECT_GE(interrupted, moments / 2);
    std::cout << rolledBack << " of " << moments << " moments left release 1 to the launcher" << std::endl;
}

}  // namespace
