// The native side of the whole-update tests: the Windows programs of the
// Windows build run under Wine, the project's test server plays the mirrors,
// the web server and the log server on loopback, and the release tool makes
// the releases.
//
// The Windows programs (from ZM_E2E_WINDOWS_BIN):
//   update_driver.exe  one update as the updater runs it, installed in a test's
//                      installation as ZOLTAMeeting.exe; it writes what the
//                      worker reported to run-<pid>.txt in ZM_E2E_REPORT_DIR
//   e2e_program.exe    the programs an update runs; it keeps a journal
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "percent_bands.h"
#include "temp_dir.h"
#include "test_server.h"

namespace e2e {

namespace fs = std::filesystem;

// Long enough for a loaded machine; waits end as soon as their condition holds.
constexpr int kDriverTimeoutSeconds = 600;

// The folder of the Windows programs; empty (with a test failure) when
// ZM_E2E_WINDOWS_BIN is not set or lacks them.
fs::path WindowsBin();
// The Wine form of a native path: "Z:" and the path with '\' separators.
std::string WinePath(const fs::path& path);
std::wstring WideWinePath(const fs::path& path);

// Starts the Windows program with its arguments under Wine, with the extra
// environment; returns the process id of the Wine process, -1 when it could
// not be started.
pid_t StartUnderWine(const fs::path& program, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& environment);
// True while a process whose command line names a path inside dir runs.
bool AnyProcessIn(const fs::path& dir);
// Kills, as a power cut would, every process whose command line names a path
// inside dir, in its native or its Wine form; returns how many there were.
int KillProcessesIn(const fs::path& dir);
// Waits for a process started by StartUnderWine; returns its exit status (the
// low 8 bits of the Windows exit code), or -1 when it did not end within
// timeoutSeconds (it is then killed).
int WaitForWine(pid_t process, int timeoutSeconds);

// What one update driver run reported.
struct DriverReport {
    int pid = 0;
    std::string module;
    std::vector<std::string> args;
    int result = -100;
    std::vector<int> percents;
    std::vector<std::string> statusTexts;
    std::string errorText;
};
// The reports in dir, by process id.
std::map<int, DriverReport> ReadReports(const fs::path& dir);


// Test servers on 127.0.0.1, each on its own ephemeral port.
class ServerSet {
public:
    ~ServerSet();
    // Starts a server with the options (host and port are set here); returns it.
    TestServer& Add(ServerOptions options);
    TestServer& operator[](size_t i) { return *servers_[i]; }
    size_t size() const { return servers_.size(); }
    int Port(size_t i) const { return ports_[i]; }
    // "127.0.0.1:P1;127.0.0.1:P2;...".
    std::string Urls() const;
    // Every request of every server to a path that is no query or report.
    std::vector<RequestRecord> FileRequests() const;
    void ClearRequests();
    void StopAll();

private:
    std::vector<std::unique_ptr<TestServer>> servers_;
    std::vector<int> ports_;
};

// The paths requested, each once, sorted.
std::vector<std::string> DistinctPaths(const std::vector<RequestRecord>& requests);

// One installation folder with the update driver as its ZOLTAMeeting.exe, a
// folder for the driver's reports, and runs of the driver in it.
class Installation {
public:
    // Where an update keeps what it replaces until it is complete.
    static const std::string kUndoFolder;

    Installation();
    const fs::path& Dir() const { return dir_.path(); }
    fs::path Path(const std::string& relative) const;
    std::string Read(const std::string& relative) const;
    bool Exists(const std::string& relative) const;
    void Write(const std::string& relative, const std::string& bytes) const;
    // Relative paths ('/' separators) of the files below the folder, sorted,
    // without "log/", "UpdateVer/", the undo folder, "UserCfg.ini" (the error
    // report's user id), "meetinfo" and the programs' journal.
    std::vector<std::string> InstalledFiles() const;
    // Relative paths of the files below UpdateVer/.
    std::vector<std::string> StagedFiles() const;
    // The lines of the programs' journal.
    std::vector<std::string> Journal() const;
    // The updater's trace log "log/QKMeeting.log"; empty when there is none.
    std::string LogText() const;
    // Waits until the journal holds a line equal to line, up to timeoutSeconds.
    bool WaitForJournalLine(const std::string& line, int timeoutSeconds) const;

    // Starts the installed updater with the arguments under Wine; returns the
    // Wine process.
    pid_t StartUpdater(const std::vector<std::string>& args);
    // Waits for the updater started as wine; returns its report (result -100
    // when none was written).
    DriverReport WaitForUpdater(pid_t wine);
    // WaitForUpdater, followed through a hand-off: the report of the updater
    // that finished the update.
    DriverReport WaitToEnd(pid_t wine);
    // Runs the installed updater with the arguments and waits for it.
    DriverReport RunUpdater(const std::vector<std::string>& args) { return WaitForUpdater(StartUpdater(args)); }
    // The report of the updater that the latest run handed over to (process
    // id newPid, running from UpdateVer\), once it has finished.
    DriverReport WaitForHandedOver(int newPid);
    // RunUpdater, followed through a hand-off.
    DriverReport RunToEnd(const std::vector<std::string>& args) { return WaitToEnd(StartUpdater(args)); }
    // Makes this installation a copy of other's: every file, with its time
    // (the updater takes equal size and time for an unchanged file).
    void CopyFrom(const Installation& other);
    // The installed files with their bytes (as InstalledFiles lists them).
    std::map<std::string, std::string> Contents() const;
    // The command string "qkmt:" + Base64 of the parameter lines.
    static std::string CommandString(const std::string& parameterLines);
    // Makes an empty report folder for the next run of the updater (and the
    // updaters it starts), since Wine reuses process ids; returns the run's
    // environment.
    std::map<std::string, std::string> NextRunEnvironment();
    // The report folder of the latest run.
    const fs::path& RunReportDir() const { return runReportDir_; }

private:
    ScopedTempDir dir_;
    ScopedTempDir reports_;
    int runs_ = 0;
    fs::path runReportDir_;
};

// The key file of the release key that the default build holds
// (keys/release-test.pem), and of one that no build holds.
fs::path TestReleaseKey();
fs::path ForeignKey();

// What a release is made with; empty texts leave the release tool's defaults.
struct ReleaseRecipe {
    std::string version;
    std::vector<std::string> packPatterns;
    std::vector<std::pair<std::string, bool>> removals;  // name, fail on error
    std::string updateExe;
    std::string stopCmd, checkCmd, setupCmd, startCmd;
    bool allowDowngrade = false;
    fs::path signKey = TestReleaseKey();  // empty: the release is not signed
};
// Publishes the folder sourceDir with the release tool into outputDir.
void PublishRelease(const fs::path& sourceDir, const fs::path& outputDir, const ReleaseRecipe& recipe);
// Writes the signature file of a manifest written by hand, signed with key.
void SignManifest(const fs::path& manifest, const fs::path& key = TestReleaseKey());

// Writes bytes to dir/relative, creating folders.
void WriteFile(const fs::path& dir, const std::string& relative, const std::string& bytes);
// Bytes that differ from file to file and from version to version.
std::string ContentBytes(int index, int version, size_t size);
// The bytes of a Windows program of the build.
std::string ProgramBytes(const std::string& name);

}  // namespace e2e
