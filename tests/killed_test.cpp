// updater.exe killed at pseudo-random moments (a fixed seed), each kill followed
// by one normal run that must leave everything whole and report no failure.
#include "scoped_win.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <utility>

namespace {

// Times one run from `start` appearing to `end` appearing (or going), then
// twenty times kills one within that span; check runs the next and judges.
void KillTwentyTimes(const wchar_t* arguments, const std::wstring& start, const std::wstring& end,
                     bool endAppears, const std::function<void()>& prepare,
                     const std::function<void()>& check) {
    std::mt19937 random(2000);
    long spanMs = 0;
    for (int kill = -1; kill < 20; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        prepare();
        ScopedHandle process(test::StartProcess(test::Updater(), arguments));
        ASSERT_GE(test::WaitForPath(start, true, 30000), 0);
        if (kill < 0) {
            ASSERT_GT(spanMs = test::WaitForPath(end, endAppears, 60000), 0);
            WaitForSingleObject(process.get(), 30000);
            continue;
        }
        Sleep(random() % static_cast<DWORD>(spanMs + 1));
        TerminateProcess(process.get(), 9);
        WaitForSingleObject(process.get(), 30000);
        check();
    }
}

} // namespace

TEST(KilledRuns, AnUpdateWalkOf2000Entries) {
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles();
    std::vector<std::wstring> entries;
    std::string list;
    for (int i = 0; i < 2000; ++i) {
        entries.push_back(L"d" + std::to_wstring(i / 100) + L"\\f" + std::to_wstring(i) + L".dat");
        list += test::Narrow(entries[i]) + "\r\n";
    }
    auto content = [](size_t i) { return "new " + std::to_string(i); };
    // Every file back in download\, every twentieth replacing an older one
    // that a scanner holds open (with delete sharing), so it is set aside.
    std::vector<std::wstring> older;
    for (size_t i = 0; i < entries.size(); i += 20)
        older.push_back(entries[i]);
    HANDLE scanner = nullptr;
    auto prepare = [&] {
        if (scanner)
            test::EndProcess(std::exchange(scanner, nullptr));
        for (size_t i = 0; i < entries.size(); ++i) {
            const std::wstring source = L"download\\" + entries[i];
            ASSERT_TRUE(MoveFileW(entries[i].c_str(), source.c_str()) ||
                        test::WriteFileBytes(source, content(i)));
            ASSERT_TRUE(i % 20 || test::WriteFileBytes(entries[i], "old"));
        }
        ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", list));
        DeleteFileW(L"velmora.log");
        ASSERT_NE(scanner = test::HoldFiles(L"shared", older), nullptr);
    };
    auto check = [&] {
        size_t moved = 0, wrong = 0;
        for (const auto& entry : entries)
            moved += !test::PathExists(L"download\\" + entry);
        const bool listLeft = test::PathExists(L"patchlist.txt");
        EXPECT_TRUE(test::RunProcess(test::Updater(), L"update --log", 60000));
        for (size_t i = 0; i < entries.size(); ++i)
            wrong += test::ReadFileBytes(entries[i]) != content(i) ||
                     test::PathExists(L"download\\" + entries[i]);
        EXPECT_EQ(wrong, 0u);
        EXPECT_FALSE(test::PathExists(L"patchlist.txt") ||
                     test::PathExists(L"patchlist.txt.applying"));
        // The old copies went as the scanner let go of them.
        test::EndProcess(std::exchange(scanner, nullptr));
        size_t copies = 0;
        for (int d = 0; d < 20; ++d)
            copies += test::ListFolder(L"d" + std::to_wstring(d)).size() - 100;
        EXPECT_EQ(copies, 0u);
        EXPECT_FALSE(test::PathExists(L"velmora.setaside"));
        // No failure for the files the killed run placed; a run that finds no
        // list says so at level ERROR, as it always has.
        const std::string log = test::ReadFileBytes(L"velmora.log");
        EXPECT_EQ(test::CountOf(log, "[ERROR]"), listLeft ? 0u : 1u) << log.substr(0, 2000);
        EXPECT_EQ(test::CountOf(log, "[ERROR]"), test::CountOf(log, "open patchlist.txt"));
        EXPECT_EQ(test::CountOf(log, " - Already in place: "), listLeft ? moved : 0);
    };
    KillTwentyTimes(L"update", L"patchlist.txt.applying", L"patchlist.txt.applying", false, prepare,
                    check);
}

// No truncated file may ever stand at the target; the next run fetches it whole.
TEST(KilledRuns, ARuntimeDownloadOf64MiB) {
    const std::wstring target = L"system64\\EngineCore.dll", part = target + L".part";
    std::string body(64u << 20, '\0');
    std::mt19937 bytes(64);
    std::generate(body.begin(), body.end(), [&] { return static_cast<char>(bytes()); });
    test::ClearSites();
    ASSERT_TRUE(test::PutSiteFile(L"mirror/system64/EngineCore.dll", body));
    const std::wstring serve = L"mirror/system64/EngineCore.dll.serve";
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles({L"EngineCore.dll"});
    auto prepare = [&] { // slowly (2 MiB every 30 ms) for the runs that are killed
        DeleteFileW(target.c_str());
        DeleteFileW(L"velmora.log");
        ASSERT_TRUE(test::PutSiteFile(serve, "chunk=2097152&delay=0.03"));
    };
    auto check = [&] {
        // A kill comes before the move into place or after it, never within.
        const bool inPlace = test::PathExists(target);
        EXPECT_TRUE(!inPlace || test::ReadFileBytes(target) == body);
        ASSERT_TRUE(test::PutSiteFile(serve, ""));
        EXPECT_TRUE(test::RunProcess(test::Updater(), L"--log", 60000));
        EXPECT_TRUE(test::ReadFileBytes(target) == body);
        // A partial file may stay only with its resume information beside it.
        EXPECT_TRUE(!test::PathExists(part) || test::PathExists(part + L".info"));
        const std::string log = test::ReadFileBytes(L"velmora.log");
        EXPECT_EQ(test::CountOf(log, "[ERROR]"), 0u) << log;
        EXPECT_EQ(test::CountOf(log, " - Missing file: "), inPlace ? 0u : 1u) << log;
    };
    KillTwentyTimes(L"", part, target, true, prepare, check);
}
