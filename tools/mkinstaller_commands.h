#pragma once
// The commands of mkinstaller, callable in-process: each writes its report
// to `out`, its complaints (naming the file and the reason) to `err`, and
// returns the process exit status.

#include <ostream>
#include <string>

const int ExitSuccess = 0;
const int ExitFailure = 1;  // an input refused, a file unreadable, an invariant broken
const int ExitUsage = 2;

// mkinstaller's command line, argv[0] being the program name.
int RunMkinstaller(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// Writes IMAGE followed by PAYLOAD to OUTPUT with the descriptor and the
// integrity record filled in.
int PackInstaller(const std::string& image, const std::string& payload, const std::string& output,
                  std::ostream& err);

// Prints the layout of an installer file; ExitSuccess only when the
// installer would install it and the layout holds exactly.
int InspectInstaller(const std::string& installer, std::ostream& out, std::ostream& err);

// Writes the payload that the installer would install to OUTPUT; refuses a
// file it would not install.
int ExtractPayloadFile(const std::string& installer, const std::string& output, std::ostream& err);
