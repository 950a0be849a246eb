// The drive list's item text: splitting the system's drive strings into
// roots, building an item from a root and its volume label, and taking the
// drive letter back out of an item.

#include "app/drive_item.h"

void SplitDriveStrings(const char (&strings)[DriveStringsSize], RootTable& table)
{
    for (size_t index = 0; index < RootCount; ++index) {
        table.root[index][0] = 0;
    }

    // The list ends at the first pair of NULs. A failed call leaves no pair,
    // so the reading also stops after 254 characters.
    const size_t readLimit = DriveStringsSize - 2;
    size_t index = 0;
    size_t length = 0;  // RootSize marks an entry that has grown too long
    for (size_t position = 0; position < readLimit; ++position) {
        const char c = strings[position];
        if (c == 0) {
            if (strings[position + 1] == 0) {
                break;
            }
            ++index;
            length = 0;
            continue;
        }
        if (index >= RootCount) {
            break;
        }
        if (length < RootSize - 1) {
            table.root[index][length] = c;
            ++length;
            table.root[index][length] = 0;
        } else {
            table.root[index][0] = 0;
            length = RootSize;
        }
    }
}

namespace {

// Appends `text` (NUL-terminated) to the item, upper-cased when asked,
// never going past the last character before the item's terminator.
size_t AppendToItem(char (&item)[ItemBufferSize], size_t length, const char* text,
                    size_t textLength, bool upperCase)
{
    for (size_t i = 0; i < textLength && length < ItemBufferSize - 1; ++i) {
        char c = text[i];
        if (upperCase && c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        item[length++] = c;
    }
    item[length] = 0;
    return length;
}

// The length of a root without its last character (the backslash).
size_t RootLengthWithoutBackslash(const char* root)
{
    size_t length = 0;
    while (root[length] != 0 && root[length + 1] != 0) {
        ++length;
    }
    return length;
}

}  // namespace

size_t BuildDriveItem(char (&item)[ItemBufferSize], const char* root,
                      const char (&label)[LabelBufferSize])
{
    // The label as the system left it in the space-filled buffer: its NULs
    // taken out, then the spaces at both ends.
    char packed[LabelBufferSize];
    size_t packedLength = 0;
    for (size_t i = 0; i < LabelBufferSize; ++i) {
        if (label[i] != 0) {
            packed[packedLength++] = label[i];
        }
    }
    size_t first = 0;
    while (first < packedLength && packed[first] == ' ') {
        ++first;
    }
    size_t last = packedLength;
    while (last > first && packed[last - 1] == ' ') {
        --last;
    }

    // "Drive " and the root without its backslash, upper-cased.
    size_t length = AppendToItem(item, 0, "Drive ", 6, true);
    length = AppendToItem(item, length, root, RootLengthWithoutBackslash(root), true);
    length = AppendToItem(item, length, " (", 2, false);

    // The label keeps its case; it is cut so that the closing parenthesis
    // still fits.
    size_t labelLength = last - first;
    if (labelLength > LabelLimit) {
        labelLength = LabelLimit;
    }
    const size_t used = length + 2;  // with the ")" and the NUL
    const size_t room = used < ItemBufferSize ? ItemBufferSize - used : 0;
    if (labelLength > room) {
        labelLength = room;
    }
    length = AppendToItem(item, length, packed + first, labelLength, false);
    return AppendToItem(item, length, ")", 1, false);
}

char DriveLetterFromItem(const char* text, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        if (text[i] == ':') {
            return i > 0 ? text[i - 1] : 0;
        }
    }
    return 0;
}
