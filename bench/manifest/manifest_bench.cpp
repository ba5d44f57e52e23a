// Figures for bench/manifest/run: the update calculation of a large manifest
// against a current installation, and the MD5 and ZF7Z throughput of one
// large file. Each command prints "key=value" lines for the script.
//
//   manifest_bench check ENTRIES DIR      publish ENTRIES files, check an installation of them
//   manifest_bench make-data MIB FILE     MIB MiB of data that packs about as a client does
//   manifest_bench pack FILE ZF7Z         pack as the release tool does
//   manifest_bench to-lzma ZF7Z LZMA      the same stream in the .lzma form xz reads
//   manifest_bench md5 FILE RUNS          the check value's MD5 pass, best of RUNS
//   manifest_bench decode ZF7Z OUT RUNS   the decode thread's unpacking and the decoder alone, best of RUNS
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "manifest/finger_file.h"
#include "manifest/digest.h"
#include "manifest/qk_update_ini.h"
#include "manifest/zf7z_decoder.h"
#include "manifest/zf7z_encoder.h"
#include "manifest/zf7z_format.h"
#include "publish/release_builder.h"
#include "util/code_page.h"
#include "util/file_util.h"
#include "util/path_separators.h"

namespace {

using Clock = std::chrono::steady_clock;

const int64_t kReleaseTime = 1500000000;
const int kFilesPerFolder = 100;
const int kCheckRuns = 7;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::wstring Wide(const char* text) { return Utf8ToWide(text); }

std::wstring AsDir(const std::wstring& path) {
    std::wstring dir = WithBackslashes(path);
    if (dir.empty() || dir.back() != L'\\') dir += L'\\';
    return dir;
}

// The processor time of this process, which other processes on a busy
// machine do not inflate as they do the wall time.
double CpuSeconds() {
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Read calls this process has made so far ("syscr" of /proc/self/io); the
// reading of that file itself costs the same few calls every time.
long long ReadCallsSoFar() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value) {
        if (key == "syscr:") return value;
    }
    return -1;
}

bool WriteFile(const std::wstring& path, const std::string& bytes, int64_t time) {
    return MakeDirs(path.substr(0, path.rfind(L'\\'))) && WriteWholeFile(path, bytes) && SetFileTimes(path, time);
}

std::wstring EntryName(int index) {
    char name[64];
    std::snprintf(name, sizeof name, "dir%03d\\file%05d.dll", index / kFilesPerFolder, index);
    return Wide(name);
}

// ENTRIES files published with MD5 check values; the installation holds
// every one with the release's size and time but other bytes, so a check
// value computed from any of them would put it on the update list.
int Check(int entries, const std::wstring& work) {
    const std::wstring source = work + L"src\\";
    const std::wstring release = work + L"release\\";
    const std::wstring app = work + L"app\\";
    std::mt19937 random(entries);
    for (int i = 0; i < entries; ++i) {
        const size_t size = 64 + random() % 2048;
        std::string content(size, '\0');
        for (char& c : content) c = static_cast<char>(random());
        if (!WriteFile(source + EntryName(i), content, kReleaseTime + i) ||
            !WriteFile(app + EntryName(i), std::string(size, 'x'), kReleaseTime + i)) {
            std::fprintf(stderr, "cannot write the files below %s\n", WideToUtf8(work).c_str());
            return 1;
        }
    }
    SReleaseOptions options;
    options.sourceDir = source;
    options.outputDir = release;
    options.version = L"2.0.0.0";
    options.startCmd = L"%APPDIR%client.exe";
    CReleaseBuilder builder;
    SReleaseSummary summary;
    std::string manifest;
    if (!builder.Build(options, summary) || !ReadWholeFile(summary.manifestPath, manifest) ||
        !WriteFile(app + L"UpdateVer\\UpdateInfo.ini", manifest, kReleaseTime)) {
        std::fprintf(stderr, "publishing failed: %s\n", WideToUtf8(builder.GetError()).c_str());
        return 1;
    }

    double bestTotal = 1e9;
    double bestTotalCpu = 1e9;
    double bestCheck = 1e9;
    size_t updates = 0;
    size_t downloads = 0;
    size_t loaded = 0;
    long long checkReads = 0;
    const long long probe = ReadCallsSoFar();
    const long long probeCost = ReadCallsSoFar() - probe;
    for (int run = 0; run < kCheckRuns; ++run) {
        const Clock::time_point start = Clock::now();
        const double cpuStart = CpuSeconds();
        CQKUpdateIni ini(app, L"ZOLTA");
        ini.SetFile(app + L"UpdateVer\\UpdateInfo.ini");
        CFingerFile finger;
        if (!finger.LoadFinger(ini, ini.GetMainSection())) {
            std::fprintf(stderr, "the manifest did not load\n");
            return 1;
        }
        FingerItemList update;
        FingerItemList download;
        CFingerFile::CopyItems(finger.GetAllItems(), update);
        const long long readsBefore = ReadCallsSoFar();
        const Clock::time_point checkStart = Clock::now();
        CFingerFile::CalcUpdate(app, update, nullptr);
        bestCheck = std::min(bestCheck, SecondsSince(checkStart));
        checkReads = std::max(checkReads, ReadCallsSoFar() - readsBefore - probeCost);
        CFingerFile::CopyItems(update, download);
        CFingerFile::RemoveListed(download, finger.GetCurrentItems(), nullptr);
        bestTotal = std::min(bestTotal, SecondsSince(start));
        bestTotalCpu = std::min(bestTotalCpu, CpuSeconds() - cpuStart);
        loaded = finger.GetAllItems().size();
        updates = update.size();
        downloads = download.size();
    }
    std::printf("entries=%zu\nmanifest_bytes=%zu\nload_and_check_ms=%.3f\nload_and_check_cpu_ms=%.3f\ncheck_ms=%.3f\n",
                loaded, manifest.size(), bestTotal * 1000, bestTotalCpu * 1000, bestCheck * 1000);
    std::printf("update_list=%zu\ndownload_list=%zu\ncheck_read_calls=%lld\n", updates, downloads, checkReads);
    return 0;
}

// Words and numbers mixed with stretches of random bytes: about what the
// executables and resources of a client give the packer.
int MakeData(int mebibytes, const std::wstring& path) {
    static const char* const kWords[] = {"update", "meeting", "client", "server", "version", "window",
                                         "module", "section", "download", "connection", "range", "file"};
    std::mt19937 random(2024);
    const size_t size = static_cast<size_t>(mebibytes) << 20;
    std::string data;
    data.reserve(size + 4096);
    while (data.size() < size) {
        if (random() % 4 == 0) {
            for (int i = 0; i < 256; ++i) data += static_cast<char>(random());
        } else {
            for (int i = 0; i < 32; ++i) {
                data += kWords[random() % (sizeof kWords / sizeof kWords[0])];
                data += ' ';
                data += std::to_string(random() % 1000);
                data += random() % 8 == 0 ? '\n' : ' ';
            }
        }
    }
    data.resize(size);
    if (!WriteWholeFile(path, data)) {
        std::fprintf(stderr, "cannot write %s\n", WideToUtf8(path).c_str());
        return 1;
    }
    return 0;
}

int Pack(const std::wstring& input, const std::wstring& output) {
    std::string data;
    std::string container;
    if (!ReadWholeFile(input, data)) return 1;
    const Clock::time_point start = Clock::now();
    if (!EncodeZf7z(data, container) || !WriteWholeFile(output, container)) return 1;
    std::printf("pack_seconds=%.3f\npacked_bytes=%zu\n", SecondsSince(start), container.size());
    return 0;
}

// The .lzma header: the five property bytes, then the decoded size as 64 bits.
int ToLzma(const std::wstring& input, const std::wstring& output) {
    std::string container;
    if (!ReadWholeFile(input, container) || container.size() < kZf7zHeaderSize) return 1;
    std::string lzma = container.substr(kZf7zPropsOffset, 5);
    lzma += container.substr(kZf7zSizeOffset, 4);
    lzma += std::string(4, '\0');
    lzma += container.substr(kZf7zHeaderSize);
    return WriteWholeFile(output, lzma) ? 0 : 1;
}

// Runs operation runs times and prints the wall and processor seconds of
// the run that took the least processor time.
template <typename Operation>
bool BestOf(const char* name, int runs, Operation operation) {
    double bestCpu = 1e9;
    double bestWall = 0;
    for (int run = 0; run < runs; ++run) {
        const Clock::time_point start = Clock::now();
        const double cpuStart = CpuSeconds();
        if (!operation()) return false;
        const double cpu = CpuSeconds() - cpuStart;
        if (cpu < bestCpu) {
            bestCpu = cpu;
            bestWall = SecondsSince(start);
        }
    }
    std::printf("%s_wall_seconds=%.4f\n%s_cpu_seconds=%.4f\n", name, bestWall, name, bestCpu);
    return true;
}

int Md5(const std::wstring& path, int runs) {
    std::wstring hex;
    if (!BestOf("md5", runs, [&] { return FileDigestText(DIGEST_MD5, path, hex); })) return 1;
    std::printf("md5=%s\n", WideToUtf8(hex).c_str());
    return 0;
}

// The decode thread's unpacking from file to file, and the decoder alone on
// the container in memory, which tells the decoder's share from the files'.
int Decode(const std::wstring& input, const std::wstring& output, int runs) {
    std::string container;
    if (!ReadWholeFile(input, container)) return 1;
    const auto* bytes = reinterpret_cast<const uint8_t*>(container.data());
    const bool decoded = BestOf("decode_memory", runs, [&] {
        std::unique_ptr<uint8_t[]> data;
        size_t length = 0;
        return DecodeZf7z(bytes, container.size(), data, length);
    });
    container.clear();
    container.shrink_to_fit();
    return decoded && BestOf("decode", runs, [&] { return DecompressZf7zFile(input, output) > 0; }) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "check" && argc == 4) return Check(std::atoi(argv[2]), AsDir(Wide(argv[3])));
    if (command == "make-data" && argc == 4) return MakeData(std::atoi(argv[2]), Wide(argv[3]));
    if (command == "pack" && argc == 4) return Pack(Wide(argv[2]), Wide(argv[3]));
    if (command == "to-lzma" && argc == 4) return ToLzma(Wide(argv[2]), Wide(argv[3]));
    if (command == "md5" && argc == 4) return Md5(Wide(argv[2]), std::atoi(argv[3]));
    if (command == "decode" && argc == 5) return Decode(Wide(argv[2]), Wide(argv[3]), std::atoi(argv[4]));
    std::fprintf(stderr,
                 "usage: manifest_bench check ENTRIES DIR | make-data MIB FILE | pack FILE ZF7Z |\n"
                 "       to-lzma ZF7Z LZMA | md5 FILE RUNS | decode ZF7Z OUT RUNS\n");
    return 2;
}
