// Logs the installer's title for a program that cannot read it itself:
// "logtitle.exe makelibs.bat" appends "makelibs.bat<TAB>title" to
// install.log.  The batch file of the sample package calls it.

#include "sample.h"

int main(int argc, char** argv)
{
    SampleTimeStamp("logtitle.exe", "start");
    int code = 2;
    if (argc != 2) {
        fprintf(stderr, "usage: logtitle NAME\n");
    } else {
        LogInstallerTitle(argv[1]);
        code = SampleExitCode(argv[1]);
    }
    SampleTimeStamp("logtitle.exe", "end");
    return code;
}
