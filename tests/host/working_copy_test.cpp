#include <gtest/gtest.h>

#include <string>

#include "services/working_copy.h"

namespace {

// Copies into a buffer of limit + 1 characters that sits between guard
// bytes, and checks that nothing outside it was touched.
std::string Copy(size_t limit, const std::string& text, size_t* length = nullptr)
{
    std::string buffer(limit + 1 + 2 * 16, '#');
    size_t n = MakeWorkingCopy(&buffer[16], limit, text.c_str());
    EXPECT_EQ(buffer.substr(0, 16), std::string(16, '#')) << "written before the copy";
    EXPECT_EQ(buffer.substr(16 + limit + 1), std::string(16, '#')) << "written beyond the copy";
    if (length)
        *length = n;
    return std::string(&buffer[16]);
}

TEST(WorkingCopy, CutsAtTheLimitAndTerminates)
{
    size_t length = 0;
    std::string long_text(300, 'a');
    long_text[254] = 'x';
    long_text[255] = 'y';
    std::string copy = Copy(PathLimit, long_text, &length);
    EXPECT_EQ(length, 255u);
    EXPECT_EQ(copy, long_text.substr(0, 255));
    EXPECT_EQ(copy.back(), 'x');

    EXPECT_EQ(Copy(CommandLineLimit, long_text, &length), long_text.substr(0, 256));
    EXPECT_EQ(length, 256u);
    EXPECT_EQ(Copy(PatternLimit, long_text, &length).size(), 256u);
}

TEST(WorkingCopy, ShortTextsAndTheExactLimitStayWhole)
{
    size_t length = 99;
    EXPECT_EQ(Copy(PathLimit, "", &length), "");
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(Copy(PathLimit, "C:\\varnok", &length), "C:\\varnok");
    EXPECT_EQ(length, 9u);
    std::string exact(255, 'b');
    EXPECT_EQ(Copy(PathLimit, exact, &length), exact);
    EXPECT_EQ(length, 255u);
}

TEST(WorkingCopy, WildcardsAnywhereAreFound)
{
    EXPECT_TRUE(HasWildcard("*"));
    EXPECT_TRUE(HasWildcard("C:\\dir\\a?c"));
    EXPECT_TRUE(HasWildcard("dir*\\name"));
    EXPECT_FALSE(HasWildcard(""));
    EXPECT_FALSE(HasWildcard("C:\\varnok\\tute.exe"));
    EXPECT_FALSE(HasWildcard("[]!~^.+"));
}

}  // namespace
