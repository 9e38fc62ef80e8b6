// Registration scripts run into an in-memory registry: each row starts from
// a tree, runs a script one way or the other, and names the tree it must
// leave (both trees written as scripts themselves).
#include "host/registry_script.h"

#include <gtest/gtest.h>

#include "host/registry_tree.h"
#include "platform/utf8.h"

namespace qoinfo {
namespace {

using Direction = ScriptDirection;

RegistryTree TreeOf(const char16_t* script) {
  RegistryTree tree;
  std::string why;
  EXPECT_EQ(tree.FromScript(script, &why), S_OK) << why;
  return tree;
}

std::string Text(const RegistryTree& tree) {
  return platform::Utf16ToUtf8(tree.ToScript());
}

Replacements TestReplacements() {
  Replacements replacements;
  replacements.Add(u"MODULE", u"\"/opt/it's here/qoinfoagent\"");
  replacements.Add(u"FriendlyName", u"Agent Object");
  replacements.Add(u"Empty", u"");
  return replacements;
}

struct RunRow {
  const char* what;
  const char16_t* before;
  const char16_t* script;
  Direction direction;
  const char16_t* after;
};

const RunRow kRunRows[] = {
    {"keys, default and named values", u"",
     u"HKCR { NoRemove CLSID { '{1}' = s 'One' { val AppID = s '{A}'\n"
     u"  LocalServer32 = s %MODULE% { val ThreadingModel = s free } } } }",
     Direction::kRegister,
     u"HKCR { CLSID { '{1}' = s 'One' { val AppID = s '{A}' LocalServer32 = s "
     u"'\"/opt/it''s here/qoinfoagent\"' { val ThreadingModel = s 'free' } } } }"},
    {"placeholders without regard to case, %% and empty values", u"",
     u"HKLM { Soft = s '%friendlyname% at 100%%' { val E = s '%EMPTY%' } }",
     Direction::kRegister,
     u"HKLM { Soft = s 'Agent Object at 100%%' { val E = s '' } }"},
    {"numbers and bytes, keywords in any case", u"",
     u"hkey_current_user { K { VAL n = D 0x10 VAL m = d 7 val b = B 00fF } }",
     Direction::kRegister,
     u"HKCU { K { val n = d 16 val m = d 7 val b = b '00FF' } }"},
    {"registering over a tree keeps what the script does not name",
     u"HKCR { P = s 'old' { val Stale = s 'x' Extra } }",
     u"HKCR { P = s 'new' { CLSID = s '{1}' } }", Direction::kRegister,
     u"HKCR { P = s 'new' { val Stale = s 'x' CLSID = s '{1}' Extra } }"},
    {"ForceRemove wipes the key before writing it",
     u"HKCR { CLSID { '{1}' = s 'old' { val Stale = s 'x' Programmable Other } } }",
     u"HKCR { NoRemove CLSID { ForceRemove '{1}' = s 'new' { ForceRemove "
     u"Programmable } } }",
     Direction::kRegister, u"HKCR { CLSID { '{1}' = s 'new' { Programmable } } }"},
    {"unregistering deletes whole keys, named by the script or not",
     u"HKCR { CLSID { '{1}' = s 'x' { Foreign { Deep } } '{2}' } P.1 { CLSID } }",
     u"HKCR { NoRemove CLSID { ForceRemove '{1}' = s 'x' } P.1 = s 'y' }",
     Direction::kUnregister, u"HKCR { CLSID { '{2}' } }"},
    {"NoRemove keys stay, with their values, when emptied",
     u"HKCR { AppID { '{A}' = s 'Q' { val LocalService = s 'Q' } X.EXE } }",
     u"HKCR { NoRemove AppID { '{A}' = s 'Q' 'X.EXE' { val AppID = s '{A}' } } }",
     Direction::kUnregister, u"HKCR { AppID }"},
    {"unregistering what is absent is no error", u"",
     u"HKCR { NoRemove AppID { '{A}' } Gone { Child } }", Direction::kUnregister,
     u""},
    {"key names compare without regard to case",
     u"HKCR { appid { '{a}' = s 'old' } }",
     u"HKCR { AppID { '{A}' = s 'new' } }", Direction::kRegister,
     u"HKCR { appid { '{a}' = s 'new' } }"},
};

TEST(RegistryScript, RunsEachRow) {
  for (const RunRow& row : kRunRows) {
    RegistryTree tree = TreeOf(row.before);
    std::string why;
    EXPECT_EQ(RunRegistryScript(row.script, TestReplacements(), row.direction,
                                tree, &why),
              S_OK)
        << row.what << ": " << why;
    EXPECT_EQ(Text(tree), Text(TreeOf(row.after))) << row.what;
  }
}

struct ErrorRow {
  const char16_t* script;
  const char* why;
};

const ErrorRow kErrorRows[] = {
    {u"HKCR { A = s '%MISSING%' }", "line 1: no value for %MISSING%"},
    {u"HKCR { A { val N = s 'x%MODULE' } }", "line 1: a '%' is not closed"},
    {u"HKXX { A }", "line 1: a root key (HKCR, HKCU, HKLM, HKU, HKCC) is expected"},
    {u"HKCR A", "line 1: '{' is expected"},
    {u"HKCR {\n A {\n B\n", "line 3: a '}' is missing"},
    {u"HKCR { A = x 'v' }", "line 1: unknown value type"},
    {u"HKCR { A = d 0x100000000 }", "line 1: not a 32-bit number"},
    {u"HKCR { A = b 0 }", "line 1: not hexadecimal bytes"},
    {u"HKCR { 'A\\B' }", "line 1: a key name holds a '\\'"},
    {u"HKCR { '' }", "line 1: an empty name"},
    {u"HKCR { A { val = s 'x' } }", "line 1: a name or a text is expected"},
    {u"HKCR { val N = s 'x' }", "line 1: a value outside a key"},
    {u"HKCR { 'A }", "line 1: a quoted text does not end"},
};

TEST(RegistryScript, RefusesBadScriptsBeforeWritingAnything) {
  for (const ErrorRow& row : kErrorRows) {
    RegistryTree tree = TreeOf(u"HKCR { Kept }");
    const std::u16string script =
        std::u16string(u"HKCR { Written } ") + row.script;
    std::string why;
    EXPECT_EQ(RunRegistryScript(script, TestReplacements(), Direction::kRegister,
                                tree, &why),
              kRegistryScriptError)
        << row.why;
    EXPECT_EQ(why, row.why);
    EXPECT_EQ(Text(tree), Text(TreeOf(u"HKCR { Kept }"))) << row.why;
  }
}

// A registry that refuses to write one value.
class RefusingRegistry : public RegistryTree {
 public:
  HRESULT SetValue(RegistryRoot root, const std::u16string& path,
                   const std::u16string& name,
                   const RegistryValue& value) override {
    if (name == u"Refused") return E_ACCESSDENIED;
    return RegistryTree::SetValue(root, path, name, value);
  }
};

TEST(RegistryScript, StopsAtTheFirstFailingWriteKeepingWhatWasWritten) {
  RefusingRegistry registry;
  EXPECT_EQ(RunRegistryScript(u"HKCR { A = s 'a' { val Refused = s 'x' } B }",
                              Replacements(), Direction::kRegister, registry),
            E_ACCESSDENIED);
  EXPECT_EQ(Text(registry), Text(TreeOf(u"HKCR { A = s 'a' }")));
}

TEST(RegistryTree, ReadsBackWhatItWrites) {
  const RegistryTree tree = TreeOf(
      u"HKCR { 'it''s 100%%' = s 'a ''quoted'' %% text\nnext line' "
      u"{ val 'x y' = b '0A' Child } } HKLM { K = d 4294967295 }");
  RegistryTree again;
  ASSERT_EQ(again.FromScript(tree.ToScript()), S_OK);
  EXPECT_EQ(Text(again), Text(tree));
  RegistryValue value;
  ASSERT_EQ(again.GetValue(RegistryRoot::kClassesRoot, u"IT'S 100%", u"",
                           &value),
            S_OK);
  EXPECT_EQ(value, StringValue(u"a 'quoted' % text\nnext line"));
}

}  // namespace
}  // namespace qoinfo
