// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "forms/fake_os.h"
#include "forms/registry.h"

using namespace forms;

namespace {

const char* const kKey = "SOFTWARE\\Corvane\\TCR7750\\Params";

class Registry : public ::testing::Test {
protected:
    FakeOs os;
    ScopedOs useOs{os};
};

}  // namespace

TEST_F(Registry, ReadsAnIntegerWithFullAccessAndNoCreate)
{
    os.SetRegistryDword(HKEY_LOCAL_MACHINE, kKey, "Interval", 300);
    TRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.OpenKey(kKey, false));
    EXPECT_TRUE(registry.ValueExists("Interval"));
    EXPECT_FALSE(registry.ValueExists("Period"));
    EXPECT_EQ(registry.ReadInteger("interval"), 300);
    registry.CloseKey();

    const auto calls = os.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].function, "RegOpenKeyExA");
    EXPECT_EQ(calls[0].arguments, "0x80000002, 'SOFTWARE\\Corvane\\TCR7750\\Params', 0, 0xf003f");
    EXPECT_EQ(os.CountCalls("RegCreateKeyExA"), 0);
    EXPECT_EQ(os.CountCalls("RegCloseKey"), 1);
}

TEST_F(Registry, MissingOrRefusedKeysDoNotOpen)
{
    TRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(registry.OpenKey(kKey));
    EXPECT_FALSE(registry.ValueExists("Interval"));

    os.DenyWriteAccess(HKEY_LOCAL_MACHINE, kKey);
    EXPECT_FALSE(registry.OpenKey(kKey)) << "full access refused";
    TRegistry reader(KEY_READ);
    reader.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(reader.OpenKey(kKey));
}

TEST_F(Registry, ReadIntegerRaisesOnAnotherTypeOrAMissingValue)
{
    os.SetRegistryString(HKEY_LOCAL_MACHINE, kKey, "Interval", "300");
    os.SetRegistryString(HKEY_LOCAL_MACHINE, kKey, "Tiny", "");
    TRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.OpenKey(kKey));
    EXPECT_TRUE(registry.ValueExists("Interval"));
    for (const char* name : {"Interval", "Tiny", "Absent"}) {
        try {
            registry.ReadInteger(name);
            ADD_FAILURE() << name;
        } catch (const ERegistryException& error) {
            EXPECT_EQ(error.what(), "Invalid data type for '" + std::string(name) + "'");
        }
    }
}

TEST_F(Registry, TheKeyClosesWithTheObject)
{
    os.AddRegistryKey(HKEY_CURRENT_USER, "Software\\X");
    {
        TRegistry registry;
        EXPECT_EQ(registry.RootKey(), HKEY_CURRENT_USER);
        ASSERT_TRUE(registry.OpenKey("Software\\X"));
        ASSERT_TRUE(registry.OpenKey("Software\\X")) << "reopening closes the first key";
    }
    EXPECT_EQ(os.CountCalls("RegCloseKey"), 2);
}
