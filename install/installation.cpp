// (being written) The installation sequence.
#include "app/installer.h"

InstallationEnding RunInstallation(HWND)
{
    return EndedOtherwise;
}
