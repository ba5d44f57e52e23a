// Cases that only a case-sensitive file system can set up.
#include "publish/release_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "client_folder.h"
#include "util/path_separators.h"

TEST(ReleaseBuilderPosix, NamesDifferingOnlyInCaseAreRefused) {
    ClientFolder src;
    ClientFolder work;
    src.Write(L"bin\\Core.dll", "a", 1500000000);
    src.Write(L"bin\\core.DLL", "b", 1500000000);
    SReleaseOptions options;
    options.sourceDir = src.Dir();
    options.outputDir = work.Path(L"out");
    options.version = L"2.0";
    CReleaseBuilder builder;
    SReleaseSummary summary;
    EXPECT_FALSE(builder.Build(options, summary));
    EXPECT_NE(builder.GetError().find(L"differ only in letter case"), std::wstring::npos) << builder.GetError().c_str();
    EXPECT_FALSE(work.Exists(L"out\\UpdateInfo.ini"));
}

TEST(ReleaseBuilderPosix, FoldersDifferingOnlyInCaseShareOneSection) {
    ClientFolder src;
    ClientFolder work;
    src.Write(L"Bin\\a.dll", "a", 1500000000);
    src.Write(L"bin\\b.dll", "b", 1500000000);
    SReleaseOptions options;
    options.sourceDir = src.Dir();
    options.outputDir = work.Path(L"out");
    options.version = L"2.0";
    options.sectionPerFolder = true;
    CReleaseBuilder builder;
    SReleaseSummary summary;
    ASSERT_TRUE(builder.Build(options, summary)) << builder.GetError().c_str();
    const std::string manifest = work.Read(L"out\\UpdateInfo.ini");
    const std::string section("[\0D\0I\0R\0_\0", 10);
    size_t count = 0;
    for (size_t at = manifest.find(section); at != std::string::npos; at = manifest.find(section, at + 1)) ++count;
    EXPECT_EQ(count, 1u);
}

TEST(ReleaseBuilderPosix, LinkInTheSourceIsRefused) {
    ClientFolder src;
    ClientFolder work;
    src.Write(L"a.dll", "a", 1500000000);
    std::filesystem::create_symlink("a.dll", std::filesystem::path(ToPosixPath(src.Path(L"link.dll"))));
    SReleaseOptions options;
    options.sourceDir = src.Dir();
    options.outputDir = work.Path(L"out");
    options.version = L"2.0";
    CReleaseBuilder builder;
    SReleaseSummary summary;
    EXPECT_FALSE(builder.Build(options, summary));
    EXPECT_NE(builder.GetError().find(L"'link.dll' is a link"), std::wstring::npos) << builder.GetError().c_str();
}
