// Reading patchlist.txt from the disk; its bytes' rules are in tests/pure/.
#include "patch/patch.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

TEST(PatchList, LoadsTheWholeFileOrLogsItsAbsence) {
    test::ScopedWorkDir dir;
    test::LogCapture log;
    EXPECT_FALSE(LoadPatchList());
    std::string bytes; // several read chunks
    for (int i = 0; i < 20000; ++i)
        bytes += "data\\file" + std::to_string(i) + ".dat\r\n";
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", bytes));
    EXPECT_TRUE(LoadPatchList());
    ASSERT_EQ(g_patchList.size(), 20000u);
    EXPECT_EQ(g_patchList.back(), L"data\\file19999.dat");
    g_patchList.clear();
    EXPECT_EQ(log.Text(), "[ERROR] Failed to open patchlist.txt\n"
                          "[INFO] Patchlist loaded successfully [objects: 20000]\n");
    EXPECT_TRUE(DeleteFileW(L"patchlist.txt")) << "closed before returning";
}
