// FillDriveList: one list item for every fixed disk, in the order in which
// the system reports the roots.

#include "app/drive_item.h"
#include "app/installer.h"

namespace {

void FillWithSpaces(char* buffer, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        buffer[i] = ' ';
    }
}

void AddDriveItem(const char* root)
{
    char label[LabelBufferSize];
    FillWithSpaces(label, LabelBufferSize);
    DWORD serialNumber;
    DWORD maximumComponentLength;
    DWORD fileSystemFlags;
    GetVolumeInformationA(root, label, LabelBufferSize, &serialNumber, &maximumComponentLength,
                          &fileSystemFlags, nullptr, 0);

    char item[ItemBufferSize];
    BuildDriveItem(item, root, label);
    SendMessageA(DriveListHandle, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
}

}  // namespace

void FillDriveList()
{
    char strings[DriveStringsSize];
    FillWithSpaces(strings, DriveStringsSize);
    GetLogicalDriveStringsA(DriveStringsSize, strings);

    RootTable table;
    SplitDriveStrings(strings, table);
    for (size_t index = 0; index < RootCount; ++index) {
        const char* root = table.root[index];
        if (root[0] != 0 && GetDriveTypeA(root) == DRIVE_FIXED) {
            AddDriveItem(root);
        }
    }
}
