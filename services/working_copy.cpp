// Working copies of texts, cut to a limit and NUL-terminated.

#include "services/working_copy.h"

size_t MakeWorkingCopy(char* copy, size_t limit, const char* text)
{
    size_t length = 0;
    while (length < limit && text[length] != '\0') {
        copy[length] = text[length];
        length++;
    }
    copy[length] = '\0';
    return length;
}

bool HasWildcard(const char* text)
{
    for (; *text != '\0'; text++) {
        if (*text == '*' || *text == '?')
            return true;
    }
    return false;
}
