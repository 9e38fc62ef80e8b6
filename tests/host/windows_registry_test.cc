// The real registry behind the Registry interface, under wine: a script
// with the three value types written below HKEY_CURRENT_USER and read back,
// and unregistered again down to its NoRemove key.
#include "host/windows/windows_registry_win.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/registry_script.h"

namespace qoinfo::win {
namespace {

constexpr RegistryRoot kRoot = RegistryRoot::kCurrentUser;
constexpr char16_t kTop[] = u"Software\\QoInfoAgentRegistryTest";

constexpr char16_t kScript[] = uR"(HKCU
{
  NoRemove Software
  {
    NoRemove QoInfoAgentRegistryTest
    {
      Keep = s 'kept'
      ForceRemove '%NAME%' = s 'default'
      {
        val Text = s 'a ''quoted'' %PATH%'
        val Number = d '4294967295'
        val Bytes = b '00FF10'
        Child
      }
    }
  }
}
)";

Replacements TestReplacements() {
  Replacements replacements;
  replacements.Add(u"name", u"Entry");
  replacements.Add(u"Path", u"\"C:\\Program Files\\q.exe\"");
  return replacements;
}

std::u16string Key(const char16_t* below) {
  return std::u16string(kTop) + u"\\" + below;
}

TEST(WindowsRegistry, WritesReadsAndRemovesTypedValues) {
  WindowsRegistry registry;
  ASSERT_EQ(registry.DeleteKeyTree(kRoot, kTop), S_OK);
  ASSERT_EQ(RunRegistryScript(kScript, TestReplacements(),
                              ScriptDirection::kRegister, registry),
            S_OK);
  // A stale value under a ForceRemove key goes with a second registration.
  ASSERT_EQ(registry.SetValue(kRoot, Key(u"Entry"), u"Stale", StringValue(u"x")),
            S_OK);
  ASSERT_EQ(RunRegistryScript(kScript, TestReplacements(),
                              ScriptDirection::kRegister, registry),
            S_OK);

  RegistryValue value;
  ASSERT_EQ(registry.GetValue(kRoot, Key(u"Entry"), u"", &value), S_OK);
  EXPECT_EQ(value, StringValue(u"default"));
  ASSERT_EQ(registry.GetValue(kRoot, Key(u"Entry"), u"text", &value), S_OK);
  EXPECT_EQ(value, StringValue(u"a 'quoted' \"C:\\Program Files\\q.exe\""));
  ASSERT_EQ(registry.GetValue(kRoot, Key(u"Entry"), u"Number", &value), S_OK);
  EXPECT_EQ(value.type, RegistryValue::Type::kNumber);
  EXPECT_EQ(value.number, 0xFFFFFFFFu);
  ASSERT_EQ(registry.GetValue(kRoot, Key(u"Entry"), u"Bytes", &value), S_OK);
  EXPECT_EQ(value.type, RegistryValue::Type::kBytes);
  EXPECT_EQ(value.bytes, (std::vector<std::uint8_t>{0x00, 0xFF, 0x10}));
  EXPECT_NE(registry.GetValue(kRoot, Key(u"Entry"), u"Stale", &value), S_OK);

  std::vector<std::u16string> names;
  ASSERT_EQ(registry.EnumerateSubkeys(kRoot, kTop, &names), S_OK);
  EXPECT_EQ(names.size(), 2u);

  EXPECT_EQ(registry.DeleteValue(kRoot, Key(u"Entry"), u"Absent"), S_OK);
  EXPECT_EQ(registry.DeleteValue(kRoot, Key(u"Absent"), u"Text"), S_OK);
  ASSERT_EQ(RunRegistryScript(kScript, TestReplacements(),
                              ScriptDirection::kUnregister, registry),
            S_OK);
  EXPECT_TRUE(registry.KeyExists(kRoot, kTop));
  EXPECT_FALSE(registry.KeyExists(kRoot, Key(u"Entry")));
  EXPECT_FALSE(registry.KeyExists(kRoot, Key(u"Keep")));
  EXPECT_EQ(registry.DeleteKeyTree(kRoot, kTop), S_OK);
  EXPECT_FALSE(registry.KeyExists(kRoot, kTop));
  EXPECT_EQ(registry.DeleteKeyTree(kRoot, kTop), S_OK);
}

}  // namespace
}  // namespace qoinfo::win
