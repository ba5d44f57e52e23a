#include "release_pair.h"

namespace e2e {

namespace {

std::string DataFile(size_t i) { return "data/f" + std::to_string(i) + (i % 2 == 1 ? ".pak" : ".bin"); }

}  // namespace

ReleasePair::ReleasePair(size_t fileCount, size_t fileSize) {
    const std::string program = ProgramBytes("e2e_program.exe");
    for (size_t i = 0; i < fileCount; ++i) WriteFile(v1Source_.path(), DataFile(i), ContentBytes(int(i), 1, 7000));
    WriteFile(v1Source_.path(), "data/old.bin", ContentBytes(90, 1, 5000));
    WriteFile(v1Source_.path(), "client.exe", program);
    ReleaseRecipe v1;
    v1.version = "1.0.0.0";
    v1.packPatterns = {"*.pak"};
    v1.startCmd = "\"%APPDIR%client.exe\" meetinfo";
    PublishRelease(v1Source_.path(), output_.path(), v1);

    for (size_t i = 0; i < fileCount; ++i) WriteFile(v2Source_.path(), DataFile(i), ContentBytes(int(i), 2, fileSize));
    WriteFile(v2Source_.path(), "data/new.bin", ContentBytes(91, 2, fileSize));
    WriteFile(v2Source_.path(), "client.exe", program);
    WriteFile(v2Source_.path(), "ZOLTAMeeting.exe", ProgramBytes("update_driver.exe") + "\nversion 2.5\n");
    ReleaseRecipe v2 = v1;
    v2.version = kNewVersion;
    v2.removals = {{"data/old.bin", false}};
    PublishRelease(v2Source_.path(), output_.path(), v2);
    const fs::path v2Dir = output_.path() / kNewVersion;
    for (const auto& entry : fs::recursive_directory_iterator(v2Dir)) {
        const std::string name = fs::relative(entry.path(), v2Dir).generic_string();
        if (entry.is_regular_file() && name.compare(0, 5, "data/") == 0)
            dataPaths_.push_back("/" + std::string(kNewVersion) + "/" + name);
    }

    v1_ = std::make_unique<Installation>();
    ServerSet server;
    ServerOptions options;
    options.root = output_.path().string();
    server.Add(options);
    const DriverReport installed = v1_->RunToEnd(
        {Installation::CommandString("-SPVER=pc-1.0.0.0\n-UPURL=" + server.Urls() + "\n-MEET=8801;x\n")});
    EXPECT_EQ(installed.result, 0) << "version 1 did not install";
    // An older copy of the updater, which the update refreshes.
    v1_->Write("VeltranePrepair.exe", ProgramBytes("update_driver.exe"));
    v1Files_ = v1_->Contents();
    v2Files_ = v1Files_;
    v2Files_.erase("data/old.bin");
    for (const auto& entry : fs::recursive_directory_iterator(v2Source_.path())) {
        if (entry.is_regular_file())
            v2Files_[fs::relative(entry.path(), v2Source_.path()).generic_string()] = ReadFileBytes(entry.path());
    }
    v2Files_["VeltranePrepair.exe"] = v2Files_.at("ZOLTAMeeting.exe");
    v2Files_["UpdateInfo.ini"] = ReadFileBytes(output_.path() / ("UpdateInfo.ini." + std::string(kNewVersion)));
}

void ReleasePair::ExpectOnlyReleaseFiles(const Installation& app) const {
    const std::string copying = ".new";
    for (const auto& file : app.Contents()) {
        // A copy under way, beside the file it will replace in one rename.
        const std::string& name = file.first;
        if (name.size() > copying.size() && name.compare(name.size() - copying.size(), copying.size(), copying) == 0 &&
            v2Files_.count(name.substr(0, name.size() - copying.size())) == 1) {
            continue;
        }
        const auto v1 = v1Files_.find(file.first);
        const auto v2 = v2Files_.find(file.first);
        const bool fromV1 = v1 != v1Files_.end() && v1->second == file.second;
        const bool fromV2 = v2 != v2Files_.end() && v2->second == file.second;
        EXPECT_TRUE(fromV1 || fromV2) << file.first << " is neither release's";
    }
}

std::vector<std::string> ReleasePair::DifferencesFromV2(const Installation& app) const {
    const std::map<std::string, std::string> installed = app.Contents();
    std::vector<std::string> names;
    for (const auto& file : installed) {
        const auto expected = v2Files_.find(file.first);
        if (expected == v2Files_.end() || expected->second != file.second) names.push_back(file.first);
    }
    for (const auto& file : v2Files_) {
        if (installed.count(file.first) == 0) names.push_back(file.first + " (missing)");
    }
    return names;
}

}  // namespace e2e
