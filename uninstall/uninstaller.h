#pragma once
// The uninstaller: X:\varnok\uninstall.exe, the installer's own image with
// the uninstall record in place of the package.

// Removes the installation whose uninstaller this is; returns the exit code.
int RunUninstaller();

// Whether a folder's descriptor lets anybody but SYSTEM and the
// administrators change it (or a volume without access control holds it:
// then no, see the comment). An elevated uninstaller acts only where not.
bool FolderIsSteerable(void* folder);
