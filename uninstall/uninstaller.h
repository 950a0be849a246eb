#pragma once
// The uninstaller: X:\varnok\uninstall.exe, the installer's own image with
// the uninstall record in place of the package.

// Removes the installation whose uninstaller this is; returns the exit code.
int RunUninstaller();
