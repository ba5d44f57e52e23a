// Two releases of a client for the tests that interrupt an update: version 1
// installed in a template installation, and version 2.5 that changes every
// data file (every other one packed), removes one, adds one and brings a new
// updater, so that the update hands over to it and refreshes the installed
// older copy of the updater. Made once per test suite.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace e2e {

class ReleasePair {
public:
    static constexpr const char* kNewVersion = "2.5.0.0";

    // Publishes both releases (version 2.5 with fileCount data files of
    // fileSize bytes) and installs version 1 from a test server.
    ReleasePair(size_t fileCount, size_t fileSize);

    // The release folder that the servers serve.
    const fs::path& Output() const { return output_.path(); }
    // The installation of version 1, to be copied.
    const Installation& V1() const { return *v1_; }
    // The installed files with their bytes after each version.
    const std::map<std::string, std::string>& V1Files() const { return v1Files_; }
    const std::map<std::string, std::string>& V2Files() const { return v2Files_; }
    // The server paths of version 2.5's data files.
    const std::vector<std::string>& DataPaths() const { return dataPaths_; }

    // Every installed file of app is the old or the new release's (a copy
    // under way to a name ending ".new" aside).
    void ExpectOnlyReleaseFiles(const Installation& app) const;
    // The names of the files where app differs from version 2.5: missing,
    // extra or with other bytes (the files are too big to print).
    std::vector<std::string> DifferencesFromV2(const Installation& app) const;

private:
    ScopedTempDir v1Source_;
    ScopedTempDir v2Source_;
    ScopedTempDir output_;
    std::unique_ptr<Installation> v1_;
    std::map<std::string, std::string> v1Files_;
    std::map<std::string, std::string> v2Files_;
    std::vector<std::string> dataPaths_;
};

// A test suite whose tests share one ReleasePair of fileCount data files of
// fileSize bytes; Base is the GoogleTest fixture it derives from.
template <size_t fileCount, size_t fileSize, typename Base = ::testing::Test>
class ReleasePairSuite : public Base {
protected:
    static void SetUpTestSuite() {
        if (!WindowsBin().empty()) releases_ = new ReleasePair(fileCount, fileSize);
    }
    static void TearDownTestSuite() {
        delete releases_;
        releases_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(releases_, nullptr); }

    static ReleasePair* releases_;
};

template <size_t fileCount, size_t fileSize, typename Base>
ReleasePair* ReleasePairSuite<fileCount, fileSize, Base>::releases_ = nullptr;

}  // namespace e2e
