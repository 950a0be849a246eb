// The entry in the list of programs of an installation made without an
// administrator's rights: Wine runs every test elevated, so the scenarios
// see only the machine's entries.

#include <gtest/gtest.h>

#include <string>

#include "install/registration.h"

namespace {

std::string Value(HKEY root, const char* name)
{
    char data[256] = "(none)";
    DWORD size = sizeof data, type = REG_SZ;
    HKEY key;
    if (RegOpenKeyExA(root, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VARNOK-8-Q",
                      0, KEY_READ | KEY_WOW64_32KEY, &key) == 0) {
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
        RegCloseKey(key);
    }
    return type == REG_DWORD ? std::to_string(*reinterpret_cast<DWORD*>(data)) : data;
}

}  // namespace

TEST(Registration, AUsersInstallationIsListedForThatUserAndGoesAgain)
{
    ErrorNumber error = ErrorNone;
    ASSERT_TRUE(RegisterInstallation('Q', false, 5000, error));
    EXPECT_EQ(Value(HKEY_CURRENT_USER, "InstallLocation"), "Q:\\varnok");
    EXPECT_EQ(Value(HKEY_CURRENT_USER, "QuietUninstallString"), "\"Q:\\varnok\\uninstall.exe\" /S");
    EXPECT_EQ(Value(HKEY_CURRENT_USER, "EstimatedSize"), "5") << "KiB, rounded up";
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, "InstallLocation"), "(none)");
    EXPECT_TRUE(UnregisterInstallation('Q', false));
    EXPECT_EQ(Value(HKEY_CURRENT_USER, "DisplayName"), "(none)");
    EXPECT_TRUE(UnregisterInstallation('Q', false)) << "an entry already gone is gone";
}
