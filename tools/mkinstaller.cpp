// mkinstaller: appends a payload to a linked installer image, and examines
// and unpacks the result. See `mkinstaller --help`.

#include <iostream>

#include "tools/mkinstaller_commands.h"

int main(int argc, char** argv)
{
    return RunMkinstaller(argc, argv, std::cout, std::cerr);
}
