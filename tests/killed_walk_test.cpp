// The built updater.exe killed at pseudo-random moments (a fixed seed) of an
// update walk of 2,000 entries, each kill followed by one normal update run,
// which must leave every file placed and report no failure. Prints each
// kill's moment and what it left.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// Plain system calls: the fixture is rebuilt twenty times.
bool Put(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    bool ok = file != INVALID_HANDLE_VALUE &&
              WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(file);
    return ok;
}

bool Holds(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    char buffer[64];
    DWORD got = 0;
    bool ok = file != INVALID_HANDLE_VALUE &&
              ReadFile(file, buffer, sizeof buffer, &got, nullptr) &&
              std::string(buffer, got) == bytes;
    CloseHandle(file);
    return ok;
}

} // namespace

TEST(KilledRuns, AnUpdateWalkOf2000Entries) {
    const std::wstring updater = test::BuildDir() + L"\\updater.exe";
    std::vector<std::wstring> entries;
    std::string list;
    for (int i = 0; i < 2000; ++i) {
        entries.push_back(L"d" + std::to_wstring(i / 100) + L"\\f" + std::to_wstring(i) + L".dat");
        list += test::Narrow(entries[i]) + "\r\n";
    }
    auto content = [](size_t i) { return "new " + std::to_string(i); };
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles();
    for (int d = 0; d < 20; ++d) {
        test::MakeDirs(L"d" + std::to_wstring(d));
        test::MakeDirs(L"download\\d" + std::to_wstring(d));
    }
    // Every file back in download\, every twentieth replacing an older one.
    auto prepare = [&](bool placed) {
        for (size_t i = 0; i < entries.size(); ++i) {
            const std::wstring source = L"download\\" + entries[i];
            ASSERT_TRUE(placed ? MoveFileW(entries[i].c_str(), source.c_str())
                               : Put(source, content(i)));
            if (i % 20 == 0 && !test::PathExists(entries[i])) {
                ASSERT_TRUE(Put(entries[i], "old"));
            }
        }
        ASSERT_TRUE(Put(L"patchlist.txt", list));
        DeleteFileW(L"velmora.log");
    };

    // The walk's length: from the note written before the first move to its
    // removal after the list.
    prepare(false);
    HANDLE process = test::StartProcess(updater, L"update", L".");
    ASSERT_GE(test::WaitForPath(L"patchlist.txt.applying", true, 30000), 0);
    const long walkMs = test::WaitForPath(L"patchlist.txt.applying", false, 60000);
    ASSERT_GT(walkMs, 0);
    WaitForSingleObject(process, 30000);
    CloseHandle(process);

    std::mt19937 random(2000);
    std::printf("update walk of 2000 entries, %ld ms; kills:\n", walkMs);
    for (int kill = 0; kill < 20; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        prepare(true);
        const DWORD delayMs = random() % static_cast<DWORD>(walkMs + 1);
        EXPECT_TRUE(test::StartAndKill(updater, L"update", L"patchlist.txt.applying", delayMs));
        size_t moved = 0;
        for (const auto& entry : entries)
            moved += !test::PathExists(L"download\\" + entry);
        const bool listLeft = test::PathExists(L"patchlist.txt");

        EXPECT_TRUE(test::RunProcess(updater, L"update --log", L".").finished);
        size_t wrong = 0;
        for (size_t i = 0; i < entries.size(); ++i)
            wrong += !Holds(entries[i], content(i)) || test::PathExists(L"download\\" + entries[i]);
        EXPECT_EQ(wrong, 0u);
        EXPECT_FALSE(test::PathExists(L"patchlist.txt"));
        EXPECT_FALSE(test::PathExists(L"patchlist.txt.applying"));
        // No failure reported for the files the killed run had placed; a run
        // that finds no list says so at level ERROR, as it always has.
        const std::string log = test::ReadFileBytes(L"velmora.log");
        const size_t placed = test::CountOf(log, " - Already in place: ");
        EXPECT_EQ(test::CountOf(log, "[ERROR]"), listLeft ? 0u : 1u) << log.substr(0, 2000);
        EXPECT_EQ(
            test::CountOf(log, "[ERROR]") - test::CountOf(log, "Failed to open patchlist.txt"), 0u);
        EXPECT_EQ(placed, listLeft ? moved : 0);
        std::printf("  %2d: +%3lu ms, %4zu of 2000 moved, patchlist.txt %s; next run: %4zu already "
                    "in place, %zu wrong\n",
                    kill, delayMs, moved, listLeft ? "left" : "gone", placed, wrong);
    }
}
