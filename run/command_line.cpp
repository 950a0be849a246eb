// Splitting the command line into words and reading the switches.

#include "run/command_line.h"

namespace {

bool IsBlank(char16_t c)
{
    return c == ' ' || c == '\t';
}

char16_t Upper(char16_t c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char16_t>(c - 'a' + 'A') : c;
}

// Whether `word` begins with `name` (upper case ASCII), case ignored; with
// `whole`, it must also end there. Returns where the rest begins, or 0.
const char16_t* Matches(const char16_t* word, const char* name, bool whole)
{
    for (; *name != 0; ++name, ++word)
        if (Upper(*word) != static_cast<char16_t>(*name))
            return nullptr;
    return whole && *word != 0 ? nullptr : word;
}

// The drive of /D=: X:, X:\ or X:\varnok; 0 for anything else.
char DriveOf(const char16_t* value)
{
    char16_t letter = Upper(value[0]);
    if (letter < 'A' || letter > 'Z' || value[1] != ':')
        return 0;
    const char16_t* rest = value + 2;
    if (*rest == 0 || Matches(rest, "\\", true) || Matches(rest, "\\VARNOK", true))
        return static_cast<char>(letter);
    return 0;
}

// Copies the next word of `at` into `out` as Windows programs read it:
// blanks end a word outside quotes; a quote toggles quoting and is
// dropped, two quotes inside quotes give one; 2n backslashes before a quote
// give n, 2n + 1 give n and a quote; other backslashes stay. Returns where
// the word ended in the line.
const char16_t* NextWord(const char16_t* at, char16_t*& out)
{
    bool quoted = false;
    while (*at != 0 && (quoted || !IsBlank(*at))) {
        size_t backslashes = 0;
        while (*at == '\\') {
            ++backslashes;
            ++at;
        }
        if (*at != '"') {
            while (backslashes-- > 0)
                *out++ = '\\';
            if (*at != 0 && (quoted || !IsBlank(*at)))
                *out++ = *at++;
            continue;
        }
        for (size_t i = 0; i < backslashes / 2; ++i)
            *out++ = '\\';
        if (backslashes % 2 == 1) {
            *out++ = '"';
        } else if (quoted && at[1] == '"') {
            *out++ = '"';
            ++at;
        } else {
            quoted = !quoted;
        }
        ++at;
    }
    *out++ = 0;
    return at;
}

// The program name: up to the closing quote when it starts with one,
// otherwise up to the first blank; no backslash escapes anything there.
const char16_t* SkipProgramName(const char16_t* at)
{
    if (*at == '"') {
        do
            ++at;
        while (*at != 0 && *at != '"');
        if (*at == '"')
            ++at;
    } else {
        while (*at != 0 && !IsBlank(*at))
            ++at;
    }
    while (IsBlank(*at))
        ++at;
    return at;
}

// Takes one word; returns the problem it makes, if any.
CommandLineProblem ReadSwitch(const char16_t* word, CommandLine& line)
{
    if (word[0] != '/' && word[0] != '-')
        return UnknownSwitch;
    const char16_t* name = word + 1;
    const char16_t* value;
    if (Matches(name, "S", true)) {
        line.mode = Silent;
    } else if (Matches(name, "PASSIVE", true)) {
        if (line.mode != Silent)
            line.mode = Passive;
    } else if (Matches(name, "ELEVATED", true)) {
        line.elevatedCopy = true;
    } else if (Matches(name, "?", true) || Matches(name, "HELP", true)) {
        line.help = true;
    } else if (Matches(name, "LOG", true)) {
        line.log = true;
    } else if ((value = Matches(name, "LOG=", false)) != nullptr) {
        if (*value == 0)
            return EmptyLogPath;
        line.log = true;
        line.logPath = value;
    } else if ((value = Matches(name, "D=", false)) != nullptr) {
        line.drive = DriveOf(value);
        if (line.drive == 0)
            return BadDrive;
    } else {
        return UnknownSwitch;
    }
    return CommandLineSound;
}

}  // namespace

CommandLine ParseCommandLine(const char16_t* text, char16_t* words)
{
    CommandLine line = CommandLine();
    const char16_t* at = SkipProgramName(text);
    line.arguments = at;
    while (*at != 0) {
        char16_t* word = words;
        at = NextWord(at, words);
        while (IsBlank(*at))
            ++at;
        CommandLineProblem problem = ReadSwitch(word, line);
        if (problem != CommandLineSound && line.problem == CommandLineSound) {
            line.problem = problem;
            line.wrongWord = word;
        }
    }
    return line;
}
