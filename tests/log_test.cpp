// The log writer: line layout, bytes on disk, the switch, and its file.
#include "log/log.h"
#include "log/log_line.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <regex>

TEST(LogLine, Layout) {
    std::tm t = {};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 9;
    t.tm_min = 7;
    t.tm_sec = 2;
    struct Case {
        const wchar_t* level;
        const wchar_t* message;
        const wchar_t* line;
    } cases[] = {
        {L"ERROR", L"Failed to open patchlist.txt",
         L"[ERROR] 2024-03-05 09:07:02 - Failed to open patchlist.txt"},
        {L"INFO", L"Download successful", L"[INFO] 2024-03-05 09:07:02 - Download successful"},
        {L"INFO", L"", L"[INFO] 2024-03-05 09:07:02 - "},
        {L"DEBUG", L"x\n", L"[DEBUG] 2024-03-05 09:07:02 - x\n"},
        {L"", L"", L"[] 2024-03-05 09:07:02 - "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatLogLine(c.level, c.message, t), c.line);

    t.tm_year = 999 - 1900; // four digits, zero-padded
    t.tm_hour = 23;
    EXPECT_EQ(FormatLogLine(L"INFO", L"m", t), L"[INFO] 0999-03-05 23:07:02 - m");
}

TEST(LogLine, BytesOnePerCharacterAndQuestionMarkAbove) {
    EXPECT_EQ(LogLineBytes(L"abc"), "abc");
    EXPECT_EQ(LogLineBytes(L"caf\u00E9 \u00FF"), "caf\xE9 \xFF");
    EXPECT_EQ(LogLineBytes(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(LogLineBytes(L"\u0100 \u0416\u20AC"), "? ??");
    EXPECT_EQ(LogLineBytes(L"\U0001F600"), "??"); // a surrogate pair is two characters
}

TEST(Logger, WritesLinesWithCrLfAndKeepsGoingAfterWideCharacters) {
    test::LogCapture capture;
    Logger::Write(L"INFO", L"first");
    Logger::Write(L"WARNING", L"\u0416ar \u00E9");
    Logger::Write(L"ERROR", L"ends with a line feed\n");
    Logger::Write(L"CUSTOM", L"");
    Logger::Write(L"INFO", L"last");
    EXPECT_EQ(capture.Text(), "[INFO] first\n"
                              "[WARNING] ?ar \xE9\n"
                              "[ERROR] ends with a line feed\n\n"
                              "[CUSTOM] \n"
                              "[INFO] last\n");
}

namespace {

std::string RunUpdater(const std::wstring& args) {
    test::ProcessResult r = test::RunProcess(test::ProductPath(), args, L".");
    EXPECT_TRUE(r.started && r.finished);
    EXPECT_EQ(r.exitCode, 0u);
    return test::ReadFileBytes(L"velmora.log");
}

} // namespace

TEST(LogFile, OffByDefault) {
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles();
    RunUpdater(L"update");
    EXPECT_FALSE(test::PathExists(L"velmora.log"));

    ASSERT_TRUE(test::WriteFileBytes(L"velmora.log", "kept\r\n"));
    RunUpdater(L"update");
    EXPECT_EQ(test::ReadFileBytes(L"velmora.log"), "kept\r\n");
}

TEST(LogFile, SwitchOnAppendsAcrossRunsInCrLfLines) {
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles();
    std::string first = RunUpdater(L"update --log");
    ASSERT_FALSE(first.empty());
    std::string both = RunUpdater(L"update --log");
    ASSERT_GT(both.size(), first.size());
    EXPECT_EQ(both.substr(0, first.size()), first);

    static const std::regex line(
        R"(\[(INFO|WARNING|ERROR)\] \d{4}-\d\d-\d\d \d\d:\d\d:\d\d - [^\r\n]*)");
    size_t start = 0, lines = 0;
    while (start < both.size()) {
        size_t end = both.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "every line ends in CR LF";
        std::string text = both.substr(start, end - start);
        EXPECT_TRUE(std::regex_match(text, line)) << text;
        EXPECT_EQ(text.find('\n'), std::string::npos) << "no bare LF";
        start = end + 2;
        ++lines;
    }
    EXPECT_GE(lines, 2u);
}

TEST(LogFile, DirectoryInTheWayIsIgnoredQuietly) {
    test::ScopedWorkDir dir;
    test::InstallRuntimeFiles();
    ASSERT_TRUE(CreateDirectoryW(L"velmora.log", nullptr));
    ASSERT_TRUE(test::WriteFileBytes(L"patchlist.txt", "a.txt\n"));
    RunUpdater(L"update --log");
    EXPECT_TRUE(test::DirectoryExists(L"velmora.log"));
    EXPECT_FALSE(test::PathExists(L"patchlist.txt")); // the run went on
}
