#include <gtest/gtest.h>

#include "services/error_numbers.h"

namespace {

// The table as the installation sequence and its callers know it, written
// out by code and name.
struct Entry {
    uint32_t code;
    ErrorNumber number;
};
const Entry Expected[] = {
    {0, 0},   {1, 75},   {2, 53},  {3, 76},  {4, 67},  {5, 70},  {6, 51},  {7, 241}, {8, 7},
    {9, 241}, {10, 241}, {11, 51}, {12, 51}, {13, 51}, {14, 7},  {15, 68}, {16, 75}, {17, 74},
    {18, 53}, {19, 70},  {20, 68}, {21, 71}, {22, 51}, {23, 72}, {24, 51}, {25, 72}, {26, 72},
    {27, 72}, {28, 27},  {29, 72}, {30, 72}, {31, 72}, {32, 70}, {33, 70}, {34, 72}, {35, 75},
    {36, 70}, {37, 75},  {38, 62}, {39, 61}, {40, 75},
};

TEST(ErrorNumbers, EveryEntryOfTheTable)
{
    ASSERT_EQ(sizeof Expected / sizeof Expected[0], 41u);
    for (const Entry& entry : Expected) {
        EXPECT_EQ(ErrorNumberMap[entry.code], entry.number) << "entry " << entry.code;
        EXPECT_EQ(ErrorNumberForCode(entry.code), entry.number) << "code " << entry.code;
    }
}

TEST(ErrorNumbers, EveryCodeFromFortyUpGivesTheLastEntry)
{
    // ERROR_FILE_EXISTS, ERROR_ALREADY_EXISTS, ERROR_FILENAME_EXCED_RANGE,
    // and the ends of the unsigned range (no sign or truncation slips in).
    const uint32_t codes[] = {40,  41,          80,          183,         206,        255,
                              256, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu};
    for (uint32_t code : codes)
        EXPECT_EQ(ErrorNumberForCode(code), 75) << "code " << code;
}

}  // namespace
