// The pure decisions of resuming and retrying downloads: the answers
// download_test's server cannot give.
#include "net/resume_rules.h"

#include <gtest/gtest.h>

TEST(ResumeRules, PartInfoReadsOnlyWhatItWrote) {
    const PartInfo info{"https://h/a b", "\"x\"", true, 300000};
    const auto back = ParsePartInfo(FormatPartInfo(info));
    EXPECT_TRUE(back && back->url == info.url && back->validator == info.validator &&
                back->validatorIsEtag && back->length == 300000u);
    const std::string good = FormatPartInfo({"u", "Mon, 07 Dec 2026", false, 5});
    EXPECT_TRUE(ParsePartInfo(good) && !ParsePartInfo(good)->validatorIsEtag);
    const std::string head = "velmora-part 1\nurl u";
    for (const std::string& bad :
         {good.substr(0, good.size() - 1), good + "x\n", head + "\nlength 0\ndate d\n",
          head + "\nlength -5\ndate d\n", head + "\nlength 99999999999999999999\ndate d\n",
          head + "\x01\nlength 5\ndate d\n", head + "\nlength 5\nsize d\n",
          std::string("velmora-part 2\nurl u\nlength 5\ndate d\n")})
        EXPECT_FALSE(ParsePartInfo(bad)) << bad;
}

TEST(ResumeRules, ContentRangeAndTheAnswerToAResume) {
    const auto range = ParseContentRange("bytes 100-299/300");
    EXPECT_TRUE(range && range->first == 100u && range->complete == 300u);
    for (const char* bad :
         {"bytes 100-299/*", "bytes */300", "bytes 300-299/300", "bytes 0-300/300", "bytes=0-1/2",
          "bytes 1-2", "bytes -1-2/3", "bytes 0-18446744073709551616/18446744073709551617"})
        EXPECT_FALSE(ParseContentRange(bad)) << bad;
    // Only exactly the rest is appended.
    for (const char* range : {"bytes 0-299/300", "bytes 100-199/300", "bytes 100-399/400", ""})
        EXPECT_EQ(JudgeRangeAnswer(206, range, 100, 300), RangeAnswer::Refetch) << range;
    EXPECT_EQ(JudgeRangeAnswer(206, "bytes 100-299/300", 100, 300), RangeAnswer::Append);
}

// A date is trusted only from the same URL; a strong ETag from any. Which
// answers are retried is download_test's; here how long a retry waits.
TEST(ResumeRules, ValidatorsHeadersAndRetryWaits) {
    EXPECT_EQ(ChooseValidator("\"abc\"", "date").value, "\"abc\"");
    EXPECT_TRUE(ChooseValidator(" \"abc\" ", "").isEtag);
    EXPECT_EQ(ChooseValidator("abc", "").value + ChooseValidator("\"a\"b\"", "").value, "");
    EXPECT_TRUE(MayResumeFrom({"a", "\"x\"", true, 1}, "b") &&
                !MayResumeFrom({"a", "date", false, 1}, "b") &&
                MayResumeFrom({"a", "date", false, 1}, "a"));
    EXPECT_EQ(HeaderValue("Content-Range:bytes 1-2/3\r\n", "content-range").value_or("-"),
              "bytes 1-2/3");
    EXPECT_FALSE(HeaderValue("X-ETag: 1\r\n", "etag") || HeaderValue("ETag 1\r\n", "etag"));
    EXPECT_EQ(std::vector({RetryDelayMs(1, -1), RetryDelayMs(2, -1),
                           RetryDelayMs(1, RetryAfterSeconds(" 7 ")),
                           RetryDelayMs(2, RetryAfterSeconds("11"))}), // too long to honour
              std::vector({1000u, 2000u, 7000u, 2000u}));
    EXPECT_EQ(RetryAfterSeconds("Wed, 21 Oct 2026 07:28:00 GMT"), -1);
}
