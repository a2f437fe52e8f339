// A mirror that misbehaves while the main server serves the right file: whole
// launch runs of updater.exe, the part file watched as it grows.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

// Each run ends within its time-out, writes at most what the rules allow (the
// test build takes runtime files of up to 300 MiB), and gets the file from
// the main server.
TEST(HostileServer, EndlessHugeOrDrippingBodiesEndSoon) {
    const std::string right(50000, 'r');
    const struct {
        const char* serve; // the mirror's EngineCore.dll
        long long maxPart; // the most the .part may hold
        const char* logged;
    } cases[] = {
        {"declare=10995116277760&chunk=1000&delay=1", 0,
         " - Refused: system64\\EngineCore.dll "
         "would pass 314572800 bytes"},
        {"endless=1", 300ll << 20, " - Refused: system64\\EngineCore.dll would pass 314572800"},
        {"chunk=16&delay=1", 1000, " - Transfer error: Timeout was reached"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.serve);
        test::ScopedWorkDir dir;
        test::ClearSites();
        test::InstallRuntimeFiles({L"EngineCore.dll"});
        ASSERT_TRUE(
            test::PutSiteFile(L"mirror/system64/EngineCore.dll", std::string(100000, 'm')) &&
            test::PutSiteFile(L"mirror/system64/EngineCore.dll.serve", c.serve) &&
            test::PutSiteFile(L"server/system64/EngineCore.dll", right));
        HANDLE process = test::StartProcess(test::Updater(), L"--log");
        ASSERT_NE(process, nullptr);
        long long maxPart = 0;
        const DWORD start = GetTickCount();
        while (WaitForSingleObject(process, 5) == WAIT_TIMEOUT && GetTickCount() - start < 90000) {
            WIN32_FILE_ATTRIBUTE_DATA part;
            if (GetFileAttributesExW(L"system64\\EngineCore.dll.part", GetFileExInfoStandard,
                                     &part))
                maxPart = std::max(maxPart, static_cast<long long>(part.nFileSizeHigh) << 32 |
                                                part.nFileSizeLow);
        }
        test::EndProcess(process);
        std::printf("%s: %lu ms, at most %lld bytes written\n", c.serve, GetTickCount() - start,
                    maxPart);
        EXPECT_LT(GetTickCount() - start, 90000u);
        // The main server's file goes through the part too.
        EXPECT_LE(maxPart, std::max(c.maxPart, static_cast<long long>(right.size())));
        EXPECT_TRUE(test::ReadFileBytes(L"system64\\EngineCore.dll") == right);
        EXPECT_EQ(test::WaitForLaunchRecord().size(), 2u);
        const std::string log = test::ReadFileBytes(L"velmora.log");
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
    }
}
