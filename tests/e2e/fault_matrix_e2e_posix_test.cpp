// An update from three servers, each of which is also a web server, where
// one server misbehaves at one stage: the version queries, the manifest, the
// client's files or the new updater. Every cell must either complete from the
// good servers or end with the stage's result code and an error report; the
// installation never holds a file that is neither the old nor the new
// release's, and a rerun against good servers repairs what a failure left.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "release_pair.h"
#include "update/update_result.h"

namespace {

using namespace e2e;

const size_t kFileCount = 5;
const size_t kFileSize = 2 * 1024 * 1024;
// Each server's bandwidth: slow enough that every server takes part in a file.
const long long kServerRate = 4 * 1024 * 1024;

enum class Stage { kQueries, kManifest, kFiles, kNewUpdater };
enum class Fault { kRefuse, kNotFound, kServerError, kIgnoreRange, kShiftedRange, kCut, kStall, kSize, kCorrupt };

struct Cell {
    Stage stage;
    Fault fault;
};

const char* StageName(Stage stage) {
    switch (stage) {
        case Stage::kQueries: return "Queries";
        case Stage::kManifest: return "Manifest";
        case Stage::kFiles: return "Files";
        case Stage::kNewUpdater: return "NewUpdater";
    }
    return "";
}

const char* FaultName(Fault fault) {
    switch (fault) {
        case Fault::kRefuse: return "Refuses";
        case Fault::kNotFound: return "Answers404";
        case Fault::kServerError: return "Answers500";
        case Fault::kIgnoreRange: return "IgnoresRange";
        case Fault::kShiftedRange: return "LiesInContentRange";
        case Fault::kCut: return "CutsTheBody";
        case Fault::kStall: return "Stalls";
        case Fault::kSize: return "ChangesTheSize";
        case Fault::kCorrupt: return "FailsTheCheckValue";
    }
    return "";
}

// The faults each stage can meet. The queries send no Range and their replies
// are no files with a size or check value; the manifest has no check value.
std::vector<Cell> Cells() {
    const std::vector<Fault> transfer = {Fault::kRefuse, Fault::kNotFound,     Fault::kServerError,
                                         Fault::kIgnoreRange, Fault::kShiftedRange, Fault::kCut,
                                         Fault::kStall,  Fault::kSize};
    std::vector<Cell> cells;
    for (Fault fault : {Fault::kRefuse, Fault::kNotFound, Fault::kServerError, Fault::kCut, Fault::kStall})
        cells.push_back({Stage::kQueries, fault});
    for (Fault fault : transfer) cells.push_back({Stage::kManifest, fault});
    for (Stage stage : {Stage::kFiles, Stage::kNewUpdater}) {
        for (Fault fault : transfer) cells.push_back({stage, fault});
        cells.push_back({stage, Fault::kCorrupt});
    }
    return cells;
}

// The results a cell may end with besides success. Good servers make up for
// most faults. A file's size is the manifest's transfer size, so a server
// that states another is left out of that file and the others complete it;
// a file that fails its check value is fetched again from the others. The
// manifest has no size of its own: when the bad server answers it or its
// signature first with another size, the file taken fails the signature (6).
std::set<int> FailureCodes(const Cell& cell) {
    if (cell.fault == Fault::kSize && cell.stage == Stage::kManifest) return {URC_DOWNLOAD_ERR};
    return {};
}

FaultPlan PlanFor(const Cell& cell) {
    FaultPlan plan;
    switch (cell.fault) {
        case Fault::kRefuse: break;
        case Fault::kNotFound: plan.status = 404; break;
        case Fault::kServerError: plan.status = 500; break;
        case Fault::kIgnoreRange: plan.ignoreRange = true; break;
        case Fault::kShiftedRange: plan.rangeShift = 1000; break;
        case Fault::kCut:
            // Within the body whatever its size: replies are short, the manifest a few KiB.
            plan.cutAfter = cell.stage == Stage::kQueries ? 8 : cell.stage == Stage::kManifest ? 500 : 30000;
            break;
        case Fault::kStall: plan.stallMs = 20000; break;
        case Fault::kSize: plan.size = 1000; break;
        case Fault::kCorrupt: plan.corruptAt = 300000; break;
    }
    return plan;
}

class FaultMatrix : public ReleasePairSuite<kFileCount, kFileSize, ::testing::TestWithParam<Cell>> {
protected:
    void SetUp() override {
        ReleasePairSuite::SetUp();
        if (HasFatalFailure()) return;
        app_.CopyFrom(releases_->V1());
        ServerOptions logOptions;
        logOptions.reportDir = reportStore_.path().string();
        logServer_.Add(logOptions);
    }

    // Three servers with the releases that also answer both queries with the
    // new version and themselves as the file servers.
    void StartServers(ServerSet& servers) {
        for (int i = 0; i < 3; ++i) {
            ServerOptions options;
            options.root = releases_->Output().string();
            options.rate = kServerRate;
            servers.Add(options);
        }
        for (size_t i = 0; i < servers.size(); ++i) {
            servers[i].SetReply("getClientAccKey", QueryReply{200, Installation::CommandString("-DOMAIN=77\n")});
            servers[i].SetReply("QueryClientVer", QueryReply{200, "-SPVER=pc-" + std::string(ReleasePair::kNewVersion) +
                                                                      "\n-UPURL=" + servers.Urls() + "\n"});
        }
    }
    DriverReport Update(const ServerSet& servers) {
        return app_.RunToEnd({Installation::CommandString(
            "-WEBSVR=" + servers.Urls() + "\n-MEET=8801;x\n-LOGCFG=x;127.0.0.1:12005:" +
            std::to_string(logServer_.Port(0)) + "\n")});
    }

    std::vector<std::string> StagePaths(Stage stage) const {
        switch (stage) {
            case Stage::kQueries: return {"/servlet/getClientAccKey", "/servlet/QueryClientVer"};
            case Stage::kManifest: {
                const std::string manifest = "/UpdateInfo.ini." + std::string(ReleasePair::kNewVersion);
                return {manifest, manifest + ".sig"};
            }
            case Stage::kFiles: return releases_->DataPaths();
            case Stage::kNewUpdater: return {"/" + std::string(ReleasePair::kNewVersion) + "/ZOLTAMeeting.exe"};
        }
        return {};
    }

    size_t Reports() const {
        size_t n = 0;
        for (const auto& entry : fs::directory_iterator(reportStore_.path())) n += entry.is_regular_file();
        return n;
    }

    ScopedTempDir reportStore_;
    ServerSet logServer_;
    Installation app_;
};

TEST_P(FaultMatrix, CompletesFromTheGoodServersOrFailsWithTheStageCode) {
    const Cell cell = GetParam();
    ServerSet servers;
    StartServers(servers);
    TestServer& bad = servers[0];
    const std::vector<std::string> paths = StagePaths(cell.stage);

    // A refusing server goes away when the stage's first request reaches it.
    std::atomic<bool> done{false};
    std::thread watcher;
    if (cell.fault == Fault::kRefuse) {
        if (cell.stage == Stage::kQueries) {
            bad.Refuse(600000);
        } else {
            watcher = std::thread([&] {
                while (!done) {
                    for (const RequestRecord& record : bad.Requests()) {
                        if (std::find(paths.begin(), paths.end(), record.path) != paths.end()) {
                            bad.Refuse(600000);
                            return;
                        }
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            });
        }
    } else {
        for (const std::string& path : paths) bad.SetFault(path, PlanFor(cell));
    }

    const DriverReport run = Update(servers);
    done = true;
    if (watcher.joinable()) watcher.join();

    std::cout << StageName(cell.stage) << ", " << FaultName(cell.fault) << ": result " << run.result << std::endl;
    releases_->ExpectOnlyReleaseFiles(app_);
    // Stopping ends the stalls, so that stalled requests are on record too.
    servers.StopAll();
    bool badServerServedTheStage = false;
    for (const RequestRecord& record : bad.Requests())
        badServerServedTheStage |= std::find(paths.begin(), paths.end(), record.path) != paths.end();
    EXPECT_TRUE(badServerServedTheStage || cell.fault == Fault::kRefuse) << "the fault was never met";
    if (run.result == URC_NO_ERR) {
        EXPECT_EQ(releases_->DifferencesFromV2(app_), std::vector<std::string>());
        EXPECT_EQ(Reports(), 0u);
        return;
    }
    const std::set<int> codes = FailureCodes(cell);
    EXPECT_EQ(codes.count(run.result), 1u) << "ended with " << run.result;
    EXPECT_EQ(Reports(), 1u) << "a failed update sends one error report";
    EXPECT_EQ(app_.Read("UpdateInfo.ini"), releases_->V1Files().at("UpdateInfo.ini"));

    // Good servers repair it.
    ServerSet good;
    StartServers(good);
    EXPECT_EQ(Update(good).result, URC_NO_ERR);
    EXPECT_EQ(releases_->DifferencesFromV2(app_), std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrix, ::testing::ValuesIn(Cells()),
                         [](const ::testing::TestParamInfo<Cell>& info) {
                             return std::string(StageName(info.param.stage)) + "_" + FaultName(info.param.fault);
                         });

}  // namespace
