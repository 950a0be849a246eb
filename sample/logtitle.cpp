// Logs the installer's title for a program that cannot read it itself:
// "logtitle.exe makelibs.bat" appends "makelibs.bat<TAB>title" to
// install.log.  The batch file of the sample package calls it.

#include "sample.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: logtitle NAME\n");
        return 2;
    }
    LogInstallerTitle(argv[1]);
    return SampleExitCode(argv[1]);
}
