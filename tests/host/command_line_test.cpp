// The installer's command line: one table of lines as scripts and
// deployment tools write them.

#include <gtest/gtest.h>

#include <string>

#include "run/command_line.h"

namespace {

struct Case {
    const char16_t* line;
    CommandLineProblem problem;
    RunMode mode;
    char drive;
    bool log;
    const char16_t* logPath;  // or the word refused, with a problem
    bool help;
};

const Case Cases[] = {
    {u"setup.exe", CommandLineSound, Interactive, 0, false, nullptr, false},
    {u"\"C:\\my dir\\setup.exe\"  /S", CommandLineSound, Silent, 0, false, nullptr, false},
    {u"setup -s /Passive", CommandLineSound, Silent, 0, false, nullptr, false},
    {u"setup /PASSIVE /d=e:", CommandLineSound, Passive, 'E', false, nullptr, false},
    {u"setup /D=D:\\ /s", CommandLineSound, Silent, 'D', false, nullptr, false},
    {u"setup /D=c:\\VarNok", CommandLineSound, Interactive, 'C', false, nullptr, false},
    {u"setup /LOG -HELP", CommandLineSound, Interactive, 0, true, nullptr, true},
    {u"setup /S \"/LOG=C:\\Журнал\\日志 1.log\"", CommandLineSound, Silent, 0, true,
     u"C:\\Журнал\\日志 1.log", false},
    {u"setup /log=\"C:\\a b\\\\\" /?", CommandLineSound, Interactive, 0, true, u"C:\\a b\\", true},
    {u"setup /LOG=a\\\"b\\\\c", CommandLineSound, Interactive, 0, true, u"a\"b\\\\c", false},
    {u"setup /LOG=\"say \"\"hi\"\"\"", CommandLineSound, Interactive, 0, true, u"say \"hi\"",
     false},
    {u"setup /X /S", UnknownSwitch, Silent, 0, false, u"/X", false},
    {u"setup install", UnknownSwitch, Interactive, 0, false, u"install", false},
    {u"setup \"\"", UnknownSwitch, Interactive, 0, false, u"", false},
    {u"setup /S/PASSIVE", UnknownSwitch, Interactive, 0, false, u"/S/PASSIVE", false},
    {u"setup /D=G:\\other /D=1:", BadDrive, Interactive, 0, false, u"/D=G:\\other", false},
    {u"setup /D=", BadDrive, Interactive, 0, false, u"/D=", false},
    {u"setup /LOG=", EmptyLogPath, Interactive, 0, false, u"/LOG=", false},
};

std::u16string Text(const char16_t* text)
{
    return text != nullptr ? std::u16string(text) : std::u16string(u"(none)");
}

}  // namespace

TEST(ParseCommandLine, EveryCaseOfTheTable)
{
    for (const Case& c : Cases) {
        std::u16string line = c.line;
        std::u16string words(line.size() + 1, u'#');
        CommandLine parsed = ParseCommandLine(line.c_str(), &words[0]);
        SCOPED_TRACE(std::string(line.begin(), line.end()));  // enough to find the row
        EXPECT_EQ(parsed.problem, c.problem);
        EXPECT_EQ(parsed.mode, c.mode);
        EXPECT_EQ(parsed.drive, c.drive);
        EXPECT_EQ(parsed.log, c.log);
        EXPECT_EQ(parsed.help, c.help);
        const char16_t* text = c.problem == CommandLineSound ? parsed.logPath : parsed.wrongWord;
        EXPECT_TRUE(Text(text) == Text(c.logPath));
        EXPECT_EQ(words.back(), u'#') << "the words fit the room the line takes";
    }
    // What follows the program name, as it stands, for a copy started again.
    std::u16string line = u"\"C:\\my dir\\setup.exe\" \t/S /LOG";
    std::u16string words(line.size() + 1, 0);
    EXPECT_TRUE(std::u16string(ParseCommandLine(line.c_str(), &words[0]).arguments) == u"/S /LOG");
    // The mark of the elevated copy, and only that.
    EXPECT_TRUE(ParseCommandLine(u"u.exe /S /elevated", &words[0]).elevatedCopy);
    EXPECT_FALSE(ParseCommandLine(u"u.exe /S", &words[0]).elevatedCopy);
}
