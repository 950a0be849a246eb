#include <gtest/gtest.h>

#include <set>
#include <string>

#include "run/messages.h"

namespace {

std::string Format(Failure failure, char letter, ErrorNumber number, size_t size = 256)
{
    std::string text(size + 8, '#');
    size_t length = FormatFailureText(&text[0], size, failure, letter, number);
    EXPECT_EQ(text[length], '\0');
    EXPECT_EQ(text[size + 1], '#') << "wrote beyond the buffer";
    return text.substr(0, length);
}

// Every line break in a message is CR LF: a lone CR or LF would show as a
// box or be lost in a message box.
void ExpectOnlyCrLf(const char* text)
{
    std::string s(text);
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r')
            EXPECT_EQ(s[i + 1], '\n') << "lone CR at " << i;
        if (s[i] == '\n')
            EXPECT_TRUE(i > 0 && s[i - 1] == '\r') << "lone LF at " << i;
    }
}

}  // namespace

TEST(Messages, MultiLineTextsBreakWithCrLf)
{
    for (const char* text : {RefusalText, ReleaseNotesText, WarningText, ClosingText})
        ExpectOnlyCrLf(text);
    ExpectOnlyCrLf(Format(TargetNotMade, 'D', 70).c_str());
    ExpectOnlyCrLf(Format(PayloadNotWritten, 'D', 61).c_str());
}

TEST(Messages, PiecesJoinedDirectlyHaveNoBreakBetweenThem)
{
    std::string notes(ReleaseNotesText);
    EXPECT_NE(notes.find("maths library written by Quenlor."), std::string::npos);
    EXPECT_NE(notes.find("need a dialog editor."), std::string::npos);
    EXPECT_NE(notes.find("scripting support and more"), std::string::npos);
    EXPECT_EQ(notes.rfind("and more ...."), notes.size() - 13);
}

TEST(Messages, StagesRunTheFiveProgramsThenTheBatchFileWhichStays)
{
    const char* programs[] = {"varnok.exe", "tute.exe", "ex1.exe",
                              "ex2.exe",    "ex3.exe",  "makelibs.bat"};
    for (size_t i = 0; i < StageCount; ++i) {
        EXPECT_STREQ(Stages[i].program, programs[i]);
        EXPECT_EQ(Stages[i].deleteAfter, i < 5);
        EXPECT_EQ(Stages[i].title[0] == 0, i == 5) << "only the batch stage keeps the title";
    }
}

TEST(FailureText, NamesTheDirectoryAndTheErrorNumber)
{
    std::string made = Format(TargetNotMade, 'E', 70);
    EXPECT_EQ(made.rfind("The directory E:\\varnok could not be created (error 70),", 0), 0u);

    std::string written = Format(PayloadNotWritten, 'D', 61);
    EXPECT_NE(written.find("D:\\varnok (error 61),"), std::string::npos);

    char text[256];
    FormatFailureText(text, sizeof text, StageNotStarted, 'C', 53, "tute.exe");
    EXPECT_EQ(std::string(text).rfind("The program tute.exe of the package in C:\\varnok\r\n"
                                      "could not be started (error 53),",
                                      0),
              0u);

    std::string drive = Format(DriveNotEntered, 'G', 76);
    EXPECT_EQ(drive.rfind("The drive G: cannot be used (error 76),", 0), 0u);
}

// Every refusal of an installer file fits the message buffer whole, says
// what to do, and no two say the same.
TEST(PayloadProblemText, EachRefusalIsWholeAndItsOwn)
{
    std::set<std::string> seen;
    for (PayloadCheck check : {NotAnInstaller, PayloadMissing, PayloadIncomplete, PayloadDamaged,
                               PayloadNotAProgram, OwnFileUnreadable, NotEnoughMemory}) {
        char text[256];
        size_t length = FormatPayloadProblem(text, sizeof text, check, 70);
        EXPECT_LT(length, sizeof text - 1) << check << ": cut";
        EXPECT_NE(std::string(text).find("\r\n\r\nNothing has been installed."), std::string::npos)
            << check;
        EXPECT_TRUE(seen.insert(text).second) << check;
    }
    char text[256];
    FormatPayloadProblem(text, sizeof text, OwnFileUnreadable, 70);
    EXPECT_EQ(std::string(text).rfind("The installer could not read its own file (error 70).", 0),
              0u);
    EXPECT_EQ(FormatPayloadProblem(text, sizeof text, PayloadIntact, 0), 0u);
}

TEST(FailureText, NumbersUpTo255AreWrittenWhole)
{
    EXPECT_NE(Format(PayloadNotWritten, 'D', 0).find("(error 0)"), std::string::npos);
    EXPECT_NE(Format(PayloadNotWritten, 'D', 255).find("(error 255)"), std::string::npos);
}

TEST(FailureText, IsCutToTheBufferAndAlwaysTerminated)
{
    std::string full = Format(TargetNotMade, 'D', 70);
    for (size_t size : {1u, 2u, 10u, 40u}) {
        std::string cut = Format(TargetNotMade, 'D', 70, size);
        EXPECT_EQ(cut.size(), size - 1);
        EXPECT_EQ(full.compare(0, cut.size(), cut), 0);
    }
    char untouched = '#';
    EXPECT_EQ(FormatFailureText(&untouched, 0, TargetNotMade, 'D', 70), 0u);
    EXPECT_EQ(untouched, '#');
}
