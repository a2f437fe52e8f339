// The built updater.exe killed at pseudo-random moments (a fixed seed) of a
// 64 MiB runtime download, each kill followed by one normal launch run: no
// truncated file may ever stand at the target, and the next run must fetch
// it whole. Prints each kill's moment and what it left.
#include "support/test_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

TEST(KilledRuns, ARuntimeDownloadOf64MiB) {
    const std::wstring updater = test::BuildDir() + L"\\updater.exe";
    const std::wstring target = L"system64\\EngineCore.dll";
    const std::wstring part = target + L".part";
    std::string body(64u << 20, '\0');
    std::mt19937 bytes(64);
    for (size_t i = 0; i < body.size(); i += 4) {
        const unsigned word = bytes();
        body.replace(i, 4, reinterpret_cast<const char*>(&word), 4);
    }
    test::ClearSites();
    ASSERT_TRUE(test::PutSiteFile(test::Site::Mirror, L"system64/EngineCore.dll", body));
    // Slowly (2 MiB every 30 ms) for the runs that are killed, at full speed after.
    auto serve = [](const char* options) {
        ASSERT_TRUE(
            test::PutSiteFile(test::Site::Mirror, L"system64/EngineCore.dll.serve", options));
    };
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles({L"EngineCore.dll"});

    // The download's length, from the .part's creation to the file in place.
    serve("chunk=2097152&delay=0.03");
    HANDLE process = test::StartProcess(updater, L"", L".");
    ASSERT_GE(test::WaitForPath(part, true, 30000), 0);
    const long downloadMs = test::WaitForPath(target, true, 60000);
    ASSERT_GT(downloadMs, 0);
    WaitForSingleObject(process, 30000);
    CloseHandle(process);

    std::mt19937 random(64);
    std::printf("runtime download of 64 MiB, %ld ms served slowly; kills:\n", downloadMs);
    for (int kill = 0; kill < 20; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        DeleteFileW(target.c_str());
        DeleteFileW(L"velmora.log");
        serve("chunk=2097152&delay=0.03");
        const DWORD delayMs = random() % static_cast<DWORD>(downloadMs + 1);
        EXPECT_TRUE(test::StartAndKill(updater, L"", part, delayMs));
        const size_t partBytes = test::ReadFileBytes(part).size();
        // A kill comes before the move into place or after it, never within.
        const bool inPlace = test::PathExists(target);
        EXPECT_TRUE(!inPlace || test::ReadFileBytes(target) == body);

        serve("");
        EXPECT_TRUE(test::RunProcess(updater, L"--log", L".").finished);
        EXPECT_TRUE(test::ReadFileBytes(target) == body);
        // A partial file may stay only with its resume information beside it.
        EXPECT_TRUE(!test::PathExists(part) || test::PathExists(part + L".info"));
        const std::string log = test::ReadFileBytes(L"velmora.log");
        EXPECT_EQ(test::CountOf(log, "[ERROR]"), 0u) << log;
        EXPECT_EQ(test::CountOf(log, " - Missing file: "), inPlace ? 0u : 1u) << log;
        std::printf("  %2d: +%4lu ms, %s; next run: %s\n", kill, delayMs,
                    inPlace ? "file in place, whole"
                            : (std::to_string(partBytes >> 20) + " MiB in the .part").c_str(),
                    HasFailure() ? "FAILED" : "file whole, no .part");
    }
}
