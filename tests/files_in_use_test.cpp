// Files that other programs hold while an update replaces them, and the
// updater replacing its own running image: whole runs of updater.exe.
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

// The set-aside copies ("<name>.old~<hex>") in folder.
size_t SetAsideCopies(const std::wstring& folder) {
    size_t n = 0;
    for (const std::wstring& name : test::ListFolder(folder))
        n += name.find(L".old~") != std::wstring::npos;
    return n;
}

bool RunUpdater(const std::wstring& arguments) {
    return test::RunProcess(test::Updater(), arguments, 60000);
}

} // namespace

// A loaded library and a file a scanner holds are replaced at once; a file
// open without delete sharing stays in the list, its new bytes in download\,
// and the next run places it once its holder has ended. The library's old
// copy waits for its program; no copy is left after that.
TEST(FilesInUse, ReplacedAtOnceOrByTheNextRun) {
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles();
    const struct {
        const wchar_t *mode, *path;
    } holdings[] = {{L"library", L"plugins\\overlay.dll"},
                    {L"shared", L"data\\scanned.pak"},
                    {L"exclusive", L"data\\held.pak"}};
    std::string list;
    std::vector<HANDLE> holders;
    for (const auto& h : holdings) {
        // Old: a program image, which a library holder can load.
        ASSERT_TRUE(test::WriteFileBytes(
            h.path, test::ReadFileBytes(test::BuildDir() + L"\\helpers\\sleeper.exe")));
        ASSERT_TRUE(test::WriteFileBytes(std::wstring(L"download\\") + h.path, "new"));
        list += test::Narrow(h.path) + "\r\n";
        holders.push_back(test::HoldFiles(h.mode, {h.path}));
        ASSERT_NE(holders.back(), nullptr) << test::Narrow(h.mode);
    }
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", list));
    ASSERT_TRUE(RunUpdater(L"update --log"));
    std::string placed;
    for (const auto& h : holdings)
        placed += test::ReadFileBytes(h.path) == "new" ? "new " : "old ";
    EXPECT_EQ(placed + test::ReadFileBytes(L"patchlist.txt") +
                  test::ReadFileBytes(L"download\\data\\held.pak"),
              "new new old data\\held.pak\r\nnew");
    EXPECT_EQ(SetAsideCopies(L"plugins"), 1u);
    const std::string log = test::ReadFileBytes(L"velmora.log");
    EXPECT_EQ(test::CountOf(log, " - Another program has it open: data\\held.pak\r\n"), 1u) << log;

    for (HANDLE holder : holders)
        test::EndProcess(holder);
    ASSERT_TRUE(RunUpdater(L"update --log"));
    for (const auto& h : holdings)
        EXPECT_EQ(test::ReadFileBytes(h.path), "new") << test::Narrow(h.path);
    EXPECT_EQ(SetAsideCopies(L"plugins") + SetAsideCopies(L"data"), 0u);
    EXPECT_FALSE(test::PathExists(L"patchlist.txt") || test::PathExists(L"velmora.setaside"));
}

// What a run killed between the two moves leaves: the old file set aside and
// noted, the new one still in download\. A launch run puts the old one back;
// the update run then places the new one.
TEST(FilesInUse, ARunKilledBetweenTheMovesLosesNothing) {
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles();
    std::string note = "\xFF\xFE";
    for (char c : std::string("data\\x.pak\tdata\\x.pak.old~0000002a\r\n"))
        note += {c, '\0'};
    ASSERT_TRUE(test::WriteFileBytes(L"data\\x.pak.old~0000002a", "old") &&
                test::WriteFileBytes(L"velmora.setaside", note) &&
                test::WriteFileBytes(L"download\\data\\x.pak", "new") &&
                test::WriteFileBytes(L"patchlist.txt", "data\\x.pak\r\n"));
    ASSERT_TRUE(RunUpdater(L"--log"));
    EXPECT_EQ(test::ReadFileBytes(L"data\\x.pak") + test::ReadFileBytes(L"patchlist.txt"),
              "olddata\\x.pak\r\n");
    EXPECT_FALSE(test::PathExists(L"velmora.setaside") || SetAsideCopies(L"data") != 0);
    ASSERT_TRUE(RunUpdater(L"update --log"));
    EXPECT_EQ(test::ReadFileBytes(L"data\\x.pak"), "new");
    EXPECT_FALSE(test::PathExists(L"patchlist.txt"));
}

// A copy of the program started from the game folder, whose update names the
// program itself: the new image is in place after the run, which starts the
// game; the next run (the new program) removes the old one.
TEST(FilesInUse, TheUpdaterReplacesItself) {
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles();
    const std::string image = test::ReadFileBytes(test::Updater());
    const std::string newImage = image + "the new build"; // bytes after the image: it runs the same
    const std::wstring self = dir.path() + L"\\updater.exe";
    ASSERT_TRUE(test::WriteFileBytes(L"updater.exe", image));
    ASSERT_TRUE(test::WriteFileBytes(L"download\\updater.exe", newImage));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "updater.exe\r\n"));
    ASSERT_TRUE(test::RunProcess(self, L"update --log", 60000));
    EXPECT_TRUE(test::ReadFileBytes(L"updater.exe") == newImage);
    EXPECT_FALSE(test::PathExists(L"patchlist.txt"));
    EXPECT_EQ(test::WaitForLaunchRecord().size(), 2u);
    EXPECT_EQ(SetAsideCopies(L"."), 1u);
    DeleteFileW(L"launch-record.txt");
    ASSERT_TRUE(test::RunProcess(self, L"--log", 60000));
    EXPECT_EQ(SetAsideCopies(L"."), 0u);
    EXPECT_FALSE(test::PathExists(L"velmora.setaside"));
    EXPECT_EQ(test::WaitForLaunchRecord().size(), 2u);
}
