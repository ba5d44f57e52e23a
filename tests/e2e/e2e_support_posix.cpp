#include "e2e_support.h"

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "publish/release_builder.h"
#include "publish/release_signer.h"
#include "update/update_result.h"
#include "util/code_page.h"
#include "util/path_separators.h"
#include "vocabulary/command_string.h"

extern char** environ;

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::wstring Wide(const std::string& text) { return Utf8ToWide(text); }

}  // namespace

fs::path WindowsBin() {
    const char* dir = std::getenv("ZM_E2E_WINDOWS_BIN");
    if (dir == nullptr || !fs::exists(fs::path(dir) / "update_driver.exe")) {
        ADD_FAILURE() << "ZM_E2E_WINDOWS_BIN must name the bin folder of the Windows build (win32 preset, or "
                         "win64 where 32-bit programs cannot start), holding update_driver.exe and e2e_program.exe";
        return fs::path();
    }
    return fs::path(dir);
}

std::string WinePath(const fs::path& path) {
    std::string text = "Z:" + fs::absolute(path).string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

std::wstring WideWinePath(const fs::path& path) { return Wide(WinePath(path)); }

pid_t StartUnderWine(const fs::path& program, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& environment) {
    const std::string wineRun = std::string(ZM_SOURCE_DIR) + "/scripts/wine-run";
    std::vector<std::string> argv{wineRun, program.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (environment.count(entry.substr(0, entry.find('='))) == 0) env.push_back(entry);
    }
    for (const auto& entry : environment) env.push_back(entry.first + "=" + entry.second);
    std::vector<char*> argp;
    for (std::string& a : argv) argp.push_back(&a[0]);
    argp.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        // Its own process group, so a time-out can end Wine and what it started.
        setpgid(0, 0);
        execve(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    return child;
}

namespace {

// A process's command line, NULs as spaces; empty when it has gone.
std::string CommandLineOf(const char* pid) {
    std::string text;
    FILE* file = std::fopen(("/proc/" + std::string(pid) + "/cmdline").c_str(), "rb");
    if (file == nullptr) return text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    std::fclose(file);
    std::replace(text.begin(), text.end(), '\0', ' ');
    return text;
}

// The processes whose command line names a path inside dir.
std::vector<pid_t> ProcessesIn(const fs::path& dir) {
    const std::string native = fs::absolute(dir).string();
    const std::string wine = WinePath(dir);
    std::vector<pid_t> found;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return found;
    while (const dirent* entry = readdir(proc)) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0 || pid == getpid()) continue;
        const std::string commandLine = CommandLineOf(entry->d_name);
        if (commandLine.find(native) != std::string::npos || commandLine.find(wine) != std::string::npos) {
            found.push_back(pid);
        }
    }
    closedir(proc);
    return found;
}

bool Alive(pid_t pid) {
    waitpid(pid, nullptr, WNOHANG);
    return kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace

bool AnyProcessIn(const fs::path& dir) { return !ProcessesIn(dir).empty(); }

int KillProcessesIn(const fs::path& dir) {
    // A process may be starting one while it is killed: look again until
    // twice in a row nothing is left.
    std::set<pid_t> killed;
    for (int quiet = 0; quiet < 2;) {
        const std::vector<pid_t> found = ProcessesIn(dir);
        quiet = found.empty() ? quiet + 1 : 0;
        for (pid_t pid : found) {
            kill(pid, SIGKILL);
            killed.insert(pid);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // Wait for them to be gone, so that Wine has let go of their files when
    // the caller goes on.
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    for (pid_t pid : killed) {
        while (Alive(pid) && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return static_cast<int>(killed.size());
}

int WaitForWine(pid_t process, int timeoutSeconds) {
    if (process <= 0) return -1;
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    while (true) {
        const pid_t done = waitpid(process, &status, WNOHANG);
        if (done == process) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0 || Clock::now() > deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(-process, SIGKILL);
    waitpid(process, &status, 0);
    return -1;
}

std::map<int, DriverReport> ReadReports(const fs::path& dir) {
    std::map<int, DriverReport> reports;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, 4, "run-") != 0 || entry.path().extension() != ".txt") continue;
        DriverReport report;
        report.pid = std::atoi(name.c_str() + 4);
        for (const std::string& line : Lines(ReadFileBytes(entry.path()))) {
            const size_t eq = line.find('=');
            const std::string key = line.substr(0, eq);
            const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
            if (key == "module") report.module = value;
            if (key == "arg") report.args.push_back(value);
            if (key == "result") report.result = std::atoi(value.c_str());
            if (key == "status") report.statusTexts.push_back(value);
            if (key == "error") report.errorText = value;
            if (key == "percents") {
                std::istringstream in(value);
                std::string number;
                while (std::getline(in, number, ',')) {
                    if (!number.empty()) report.percents.push_back(std::atoi(number.c_str()));
                }
            }
        }
        reports[report.pid] = report;
    }
    return reports;
}

ServerSet::~ServerSet() { StopAll(); }

TestServer& ServerSet::Add(ServerOptions options) {
    options.host = "127.0.0.1";
    options.port = 0;
    options.idleTimeoutSec = 0;
    servers_.push_back(std::make_unique<TestServer>(options));
    std::string error;
    const int port = servers_.back()->Start(error);
    EXPECT_NE(port, 0) << error;
    ports_.push_back(port);
    return *servers_.back();
}

std::string ServerSet::Urls() const {
    std::string urls;
    for (int port : ports_) urls += (urls.empty() ? "" : ";") + std::string("127.0.0.1:") + std::to_string(port);
    return urls;
}

std::vector<RequestRecord> ServerSet::FileRequests() const {
    std::vector<RequestRecord> requests;
    for (const auto& server : servers_) {
        for (const RequestRecord& record : server->Requests()) {
            if (record.path.find("servlet/") != std::string::npos) continue;
            if (record.path.find("/logsvr/") != std::string::npos) continue;
            requests.push_back(record);
        }
    }
    return requests;
}

void ServerSet::ClearRequests() {
    for (const auto& server : servers_) server->ClearRequests();
}

void ServerSet::StopAll() {
    for (const auto& server : servers_) server->Stop();
}

std::vector<std::string> DistinctPaths(const std::vector<RequestRecord>& requests) {
    std::set<std::string> paths;
    for (const RequestRecord& record : requests) paths.insert(record.path);
    return std::vector<std::string>(paths.begin(), paths.end());
}

const std::string Installation::kUndoFolder = "~UpdateUndo/";

Installation::Installation() {
    const fs::path bin = WindowsBin();
    if (!bin.empty()) fs::copy_file(bin / "update_driver.exe", dir_.path() / "ZOLTAMeeting.exe");
}

fs::path Installation::Path(const std::string& relative) const { return dir_.path() / relative; }

std::string Installation::Read(const std::string& relative) const { return ReadFileBytes(Path(relative)); }

bool Installation::Exists(const std::string& relative) const { return fs::exists(Path(relative)); }

void Installation::Write(const std::string& relative, const std::string& bytes) const {
    WriteFile(dir_.path(), relative, bytes);
}

std::vector<std::string> Installation::InstalledFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
        if (!entry.is_regular_file()) continue;
        const std::string name = fs::relative(entry.path(), dir_.path()).generic_string();
        if (name.compare(0, 4, "log/") == 0 || name.compare(0, 10, "UpdateVer/") == 0) continue;
        if (name.compare(0, kUndoFolder.size(), kUndoFolder) == 0) continue;
        if (name == "UserCfg.ini" || name == "meetinfo" || name == "e2e-journal.txt") continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Installation::StagedFiles() const {
    std::vector<std::string> names;
    const fs::path staging = dir_.path() / "UpdateVer";
    if (!fs::exists(staging)) return names;
    for (const auto& entry : fs::recursive_directory_iterator(staging)) {
        if (entry.is_regular_file()) names.push_back(fs::relative(entry.path(), staging).generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Installation::Journal() const {
    std::vector<std::string> lines = Lines(Read("e2e-journal.txt"));
    for (std::string& line : lines) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
    }
    return lines;
}

std::string Installation::LogText() const {
    const std::string log = "log/QKMeeting.log";
    return Exists(log) ? Read(log) : std::string();
}

bool Installation::WaitForJournalLine(const std::string& line, int timeoutSeconds) const {
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    while (Clock::now() < deadline) {
        const std::vector<std::string> lines = Journal();
        if (std::find(lines.begin(), lines.end(), line) != lines.end()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

std::map<std::string, std::string> Installation::NextRunEnvironment() {
    runReportDir_ = reports_.path() / ("run" + std::to_string(++runs_));
    fs::create_directories(runReportDir_);
    return {{"ZM_E2E_REPORT_DIR", WinePath(runReportDir_)}};
}

pid_t Installation::StartUpdater(const std::vector<std::string>& args) {
    return StartUnderWine(dir_.path() / "ZOLTAMeeting.exe", args, NextRunEnvironment());
}

DriverReport Installation::WaitForUpdater(pid_t wine) {
    const int exitCode = WaitForWine(wine, kDriverTimeoutSeconds);
    EXPECT_GE(exitCode, 0) << "the updater did not end in time";
    for (const auto& report : ReadReports(runReportDir_)) {
        if (report.second.module == WinePath(dir_.path() / "ZOLTAMeeting.exe")) return report.second;
    }
    // What the updater left tells why.
    std::string reports;
    for (const auto& entry : fs::directory_iterator(runReportDir_)) reports += " " + entry.path().filename().string();
    const std::vector<std::string> log = Lines(LogText());
    std::string tail;
    for (size_t i = log.size() > 40 ? log.size() - 40 : 0; i < log.size(); ++i) tail += "\n  " + log[i];
    ADD_FAILURE() << "the updater wrote no report (exit code " << exitCode << ", report folder:" << reports
                  << "); its log ends:" << tail;
    return DriverReport();
}

DriverReport Installation::WaitForHandedOver(int newPid) {
    const std::string module = WinePath(dir_.path() / "UpdateVer") + "\\ZOLTAMeeting.exe";
    const auto deadline = Clock::now() + std::chrono::seconds(kDriverTimeoutSeconds);
    while (Clock::now() < deadline) {
        for (const auto& report : ReadReports(runReportDir_)) {
            if (report.second.module == module) {
                EXPECT_EQ(report.first, newPid) << "the first updater's result is the new one's id";
                return report.second;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ADD_FAILURE() << "the new updater did not finish";
    return DriverReport();
}

DriverReport Installation::WaitToEnd(pid_t wine) {
    const DriverReport first = WaitForUpdater(wine);
    return IsNewUpdaterPid(first.result) ? WaitForHandedOver(first.result) : first;
}

void Installation::CopyFrom(const Installation& other) {
    for (const auto& entry : fs::recursive_directory_iterator(other.Dir())) {
        const fs::path target = dir_.path() / fs::relative(entry.path(), other.Dir());
        if (entry.is_directory()) {
            fs::create_directories(target);
        } else if (entry.is_regular_file()) {
            fs::create_directories(target.parent_path());
            fs::copy_file(entry.path(), target, fs::copy_options::overwrite_existing);
            fs::last_write_time(target, entry.last_write_time());
        }
    }
}

std::map<std::string, std::string> Installation::Contents() const {
    std::map<std::string, std::string> contents;
    for (const std::string& name : InstalledFiles()) contents[name] = Read(name);
    return contents;
}

std::string Installation::CommandString(const std::string& parameterLines) {
    return WideToUtf8(EncodeCmdLine(L"qkmt:", Wide(parameterLines)));
}

void PublishRelease(const fs::path& sourceDir, const fs::path& outputDir, const ReleaseRecipe& recipe) {
    SReleaseOptions options;
    options.sourceDir = FromPosixPath(fs::absolute(sourceDir).string());
    options.outputDir = FromPosixPath(fs::absolute(outputDir).string());
    options.version = Wide(recipe.version);
    options.overwrite = true;
    if (!recipe.packPatterns.empty()) {
        options.pack = PACK_MATCHING;
        for (const std::string& pattern : recipe.packPatterns) options.packPatterns.push_back(Wide(pattern));
    }
    for (const auto& removal : recipe.removals) options.removals.push_back({Wide(removal.first), removal.second});
    options.updateExe = Wide(recipe.updateExe);
    options.stopCmd = Wide(recipe.stopCmd);
    options.checkCmd = Wide(recipe.checkCmd);
    options.setupCmd = Wide(recipe.setupCmd);
    options.startCmd = Wide(recipe.startCmd);
    options.allowDowngrade = recipe.allowDowngrade;
    if (!recipe.signKey.empty()) options.signKey = FromPosixPath(recipe.signKey.string());
    CReleaseBuilder builder;
    SReleaseSummary summary;
    ASSERT_TRUE(builder.Build(options, summary)) << WideToUtf8(builder.GetError());
}

fs::path TestReleaseKey() { return fs::path(ZM_SOURCE_DIR) / "keys" / "release-test.pem"; }

fs::path ForeignKey() { return fs::path(ZM_SOURCE_DIR) / "tests" / "support" / "foreign-test-key.pem"; }

void SignManifest(const fs::path& manifest, const fs::path& key) {
    std::string signature;
    std::wstring error;
    ASSERT_TRUE(SignReleaseBytes(FromPosixPath(key.string()), ReadFileBytes(manifest), signature, error))
        << WideToUtf8(error);
    std::ofstream out(manifest.string() + ".sig", std::ios::binary | std::ios::trunc);
    out.write(signature.data(), static_cast<std::streamsize>(signature.size()));
}

void WriteFile(const fs::path& dir, const std::string& relative, const std::string& bytes) {
    const fs::path target = dir / relative;
    fs::create_directories(target.parent_path());
    std::error_code error;
    const fs::file_time_type before = fs::last_write_time(target, error);
    const bool existed = !error;
    {
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    // A file rewritten for a later release must not keep its second: the
    // updater takes equal size and time for an unchanged file.
    if (existed && fs::last_write_time(target) < before + std::chrono::seconds(2)) {
        fs::last_write_time(target, before + std::chrono::seconds(2));
    }
}

std::string ContentBytes(int index, int version, size_t size) {
    std::string bytes(size, '\0');
    uint32_t x = static_cast<uint32_t>(index) * 2654435761u + static_cast<uint32_t>(version) * 40503u + 11u;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        // Every other stretch repeats, so packed files shrink.
        bytes[i] = (i / 512) % 2 == 0 ? static_cast<char>(x >> 24) : static_cast<char>('a' + (i % 7));
    }
    return bytes;
}

std::string ProgramBytes(const std::string& name) { return ReadFileBytes(WindowsBin() / name); }

}  // namespace e2e
