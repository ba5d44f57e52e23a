// Compares our INI reader and writer with the system's profile functions on
// the same files.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "ini_test_bytes.h"
#include "manifest/ini_profile.h"
#include "temp_dir.h"
#include "util/code_page.h"

namespace {

// Every rule in one file: comments, a line before any section, spaces, quotes,
// a=b=c, keys twice, a line without '=', numbers, a value longer than some
// buffers, and the same section twice. No line opens a section without a ']'
// or with two: Windows ends the name at the first ']' or at the line's end,
// Wine at the last ']' and only when there is one (ini_document_test.cpp
// holds Windows' rule).
std::wstring SampleText(const std::wstring& lineBreak) {
    const wchar_t* const lines[] = {
        L"; a comment before any section",
        L"stray=before any section",
        L"[CFG]",
        L"Language = en_US ",
        L"UsrID=",
        L"quoted=\"quoted value\"",
        L"single='single'",
        L"short=\"ab\"",
        L"mismatched=\"abc'",
        L"lone=\"",
        L"spaced =   a b c   ",
        L"eq=a=b=c",
        L"dup=first",
        L"DUP=second",
        L"bare line without equals",
        L";hidden=not a key",
        L"Ver=1.2.3.4",
        L"num=12abc",
        L"neg=-42",
        L"big=4294967297",
        L"word=abc",
        L"caf=caf\u00E9",
        L"[ cfg ]",
        L"Language=second section",
        L"extra=only in the second",
        L"[Empty]",
        L"",
        L"[Other]",
        L"  x  =  1  ",
    };
    std::wstring text;
    for (const wchar_t* line : lines) text += line + lineBreak;
    return text + L"long=" + std::wstring(300, L'L') + lineBreak;
}

struct Sample {
    const char* name;
    std::string bytes;
};

// Wine and we read the UTF-8 sample as UTF-8. Windows itself would read it as
// ANSI, byte-order mark included, and so miss its first line.
std::vector<Sample> Samples() {
    const std::wstring crlf = SampleText(L"\r\n");
    return {
        {"ansi-crlf.ini", WideToAnsi(crlf)},
        {"ansi-lf.ini", WideToAnsi(SampleText(L"\n"))},
        {"ansi-cr.ini", WideToAnsi(SampleText(L"\r"))},
        {"utf8.ini", Utf8File(WideToUtf8(crlf))},
        {"utf16.ini", Utf16LeFile(std::u16string(crlf.begin(), crlf.end()))},
    };
}

const wchar_t* const kSections[] = {L"CFG", L"cfg", L" CFG ", L"Empty", L"Other", L"Missing"};
const wchar_t* const kKeys[] = {
    L"Language", L"UsrID", L"quoted", L"single", L"short", L"mismatched", L"lone", L"spaced",
    L"eq", L"dup", L"bare line without equals", L";hidden", L"Ver", L"num", L"neg", L"big",
    L"word", L"caf", L"long", L"extra", L"x", L"stray", L"absent"};
const DWORD kSizes[] = {1, 2, 3, 4, 5, 13, 64, 300, 4096};

std::wstring SystemString(const wchar_t* section, const wchar_t* key, const wchar_t* defaultValue,
                          DWORD size, const std::wstring& path) {
    std::vector<wchar_t> buffer(size + 1, L'#');
    DWORD copied = GetPrivateProfileStringW(section, key, defaultValue, buffer.data(), size, path.c_str());
    return std::wstring(buffer.data(), copied);
}

std::vector<std::wstring> SystemSection(const wchar_t* section, const std::wstring& path) {
    std::vector<wchar_t> buffer(65536);
    DWORD copied = GetPrivateProfileSectionW(section, buffer.data(), static_cast<DWORD>(buffer.size()),
                                             path.c_str());
    std::vector<std::wstring> entries;
    for (DWORD at = 0; at < copied;) {
        std::wstring entry(buffer.data() + at);
        at += static_cast<DWORD>(entry.size()) + 1;
        entries.push_back(entry);
    }
    return entries;
}

// Where Wine's answer differs from Windows', the Windows answer that we give
// instead; null where Wine's answer is Windows' own.
//  - Wine finds a comment line ";key=value" when asked for the key ";key";
//    Windows takes the line as a comment and gives the default.
//  - Wine cuts one character too many from a quoted value when the buffer has
//    room for exactly the unquoted value and its NUL; by the documented rule
//    a value that fits is returned whole.
const wchar_t* WindowsAnswerWhereWineDiffers(const std::wstring& section, const std::wstring& key,
                                             DWORD size) {
    if (key == L";hidden") return L"dflt";
    const bool cfg = section == L"CFG" || section == L"cfg" || section == L" CFG ";
    if (cfg && key == L"quoted" && size == 13) return L"quoted value";
    if (cfg && key == L"short" && size == 3) return L"ab";
    return nullptr;
}

class IniProfileWinTest : public ::testing::Test {
protected:
    std::wstring File(const std::string& name, const std::string& bytes) {
        dir_.Write(name, bytes);
        return dir_.WinPath() + std::wstring(name.begin(), name.end());
    }

    ScopedTempDir dir_;
};

}  // namespace

// Strings (with the null default too), sections and integers, on every sample
// and on a file that does not exist.
TEST_F(IniProfileWinTest, ReadsMatchTheSystem) {
    std::vector<std::wstring> paths{dir_.WinPath() + L"absent.ini"};
    for (const Sample& sample : Samples()) paths.push_back(File(sample.name, sample.bytes));
    for (const std::wstring& path : paths) {
        const bool exists = path != paths[0];
        for (const wchar_t* section : kSections) {
            SCOPED_TRACE(testing::Message() << path << " [" << section << "]");
            for (const wchar_t* key : kKeys) {
                for (DWORD size : kSizes) {
                    SCOPED_TRACE(testing::Message() << key << " size " << size);
                    const std::wstring ours = ReadProfileString(section, key, L"dflt  ", size, path);
                    const wchar_t* windows = WindowsAnswerWhereWineDiffers(section, key, size);
                    if (exists && windows) {
                        EXPECT_EQ(ours, std::wstring(windows).substr(0, size - 1));
                    } else {
                        EXPECT_EQ(ours, SystemString(section, key, L"dflt  ", size, path));
                    }
                }
                if (exists && WindowsAnswerWhereWineDiffers(section, key, 64)) continue;
                EXPECT_EQ(ReadProfileString(section, key, nullptr, 64, path),
                          SystemString(section, key, nullptr, 64, path));
                EXPECT_EQ(ReadProfileInt(path, section, key, 77),
                          static_cast<int>(GetPrivateProfileIntW(section, key, 77, path.c_str())));
            }
            // Wine's GetPrivateProfileSectionW, unlike its GetPrivateProfileStringW,
            // keeps the spaces around the name asked for; we strip them for both.
            if (section[0] == L' ') continue;
            std::vector<std::wstring> entries;
            EXPECT_EQ(ReadProfileSection(section, path, entries), exists);
            EXPECT_EQ(entries, SystemSection(section, path));
        }
    }
}

TEST_F(IniProfileWinTest, WritesReadBackAsTheSystemsOwn) {
    struct Write {
        const wchar_t* section;
        const wchar_t* key;
        const wchar_t* value;
    };
    const Write writes[] = {
        {L"cfg", L"language", L"fr_FR"}, {L"CFG", L"cfgProxy", L"2;host;8080;dQ==;cA==;"},
        {L"New", L"UsrID", L"id"},       {L"CFG", L"dup", nullptr},
        {L"CFG", L"absent", nullptr},    {L"Other", L"x", L"\"two\""},
        {L"Empty", L"k", L"v"},
    };
    for (const Sample& sample : Samples()) {
        const std::wstring ours = File(std::string("ours-") + sample.name, sample.bytes);
        const std::wstring system = File(std::string("system-") + sample.name, sample.bytes);
        for (const Write& write : writes) {
            EXPECT_TRUE(WriteProfileValue(write.section, write.key, write.value, ours));
            EXPECT_TRUE(WritePrivateProfileStringW(write.section, write.key, write.value, system.c_str()));
        }
        const std::string oursBytes = ReadFileBytes(dir_.path() / (std::string("ours-") + sample.name));
        const std::string systemBytes = ReadFileBytes(dir_.path() / (std::string("system-") + sample.name));
        EXPECT_EQ(oursBytes.substr(0, 3), systemBytes.substr(0, 3)) << sample.name << ": encoding";
        for (const wchar_t* section : {L"CFG", L"New", L"Other", L"Empty"}) {
            SCOPED_TRACE(testing::Message() << sample.name << " [" << section << "]");
            EXPECT_EQ(SystemSection(section, ours), SystemSection(section, system));
            for (const wchar_t* key : {L"Language", L"cfgProxy", L"UsrID", L"dup", L"x", L"k"}) {
                EXPECT_EQ(SystemString(section, key, L"-", 64, ours),
                          SystemString(section, key, L"-", 64, system));
            }
        }
    }
}
