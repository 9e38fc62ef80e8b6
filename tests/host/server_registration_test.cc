// The registration switches against an in-memory registry and a platform
// that records its steps: the tree each switch leaves, a second
// registration over the first, and the steps' order and failures.
#include "host/server_registration.h"

#include <gtest/gtest.h>

#include <string>

#include "host/registration_scripts.h"
#include "host/registry_tree.h"
#include "platform/utf8.h"

namespace qoinfo {
namespace {

// Records each step as a word; `fail` names the step that fails.
class RecordingPlatform : public RegistrationPlatform {
 public:
  std::string steps;
  std::string fail;

  HRESULT ModulePath(std::u16string* path) override {
    *path = u"/opt/q/qoinfoagent";
    return Step("path") ? S_OK : E_ACCESSDENIED;
  }
  bool RemoveService() override { return Step("remove"); }
  bool InstallService() override { return Step("install"); }
  HRESULT RegisterServerFiles() override {
    return Step("files") ? S_OK : E_ACCESSDENIED;
  }
  HRESULT UnregisterServerFiles() override {
    return Step("nofiles") ? S_OK : E_ACCESSDENIED;
  }
  // The Windows server reads its script from a resource, which can fail.
  HRESULT AppIdScript(std::u16string* script) override {
    if (fail == "script") return E_ACCESSDENIED;
    return RegistrationPlatform::AppIdScript(script);
  }

 private:
  bool Step(const std::string& name) {
    steps += (steps.empty() ? "" : " ") + name;
    return name != fail;
  }
};

// What one class's script registers, for the class of `n`.
std::u16string ClassKeys(const ServerClass& c) {
  const std::u16string clsid = std::u16string(u"'") + c.clsid + u"'";
  const std::u16string name = std::u16string(u"'") + c.friendly_name + u"'";
  return std::u16string(u"'") + c.prog_id + u"' = s " + name + u" { CLSID = s " +
         clsid + u" } '" + c.independent_prog_id + u"' = s " + name +
         u" { CLSID = s " + clsid + u" CurVer = s '" + c.prog_id +
         u"' } CLSID { " + clsid + u" = s " + name +
         u" { val AppID = s '{12F97166-B0F9-4C8D-ADB1-7142444751C8}' ProgID = s '" +
         c.prog_id + u"' VersionIndependentProgID = s '" + c.independent_prog_id +
         u"' Programmable LocalServer32 = s '\"/opt/q/qoinfoagent\"' { val "
         u"ThreadingModel = s 'free' } TypeLib = s "
         u"'{12F97166-B0F9-4C8D-ADB1-7142444751C8}' } } ";
}

std::string Tree(const std::u16string& script) {
  RegistryTree tree;
  std::string why;
  EXPECT_EQ(tree.FromScript(script, &why), S_OK) << why;
  return platform::Utf16ToUtf8(tree.ToScript());
}

std::string Registered(bool as_service) {
  return Tree(u"HKCR { AppID { '{12F97166-B0F9-4C8D-ADB1-7142444751C8}' = s "
              u"'QoInfoAgent' " +
              std::u16string(as_service ? u"{ val LocalService = s 'QoInfoAgent' } "
                                        : u"") +
              u"'QoInfoAgent.EXE' { val AppID = s "
              u"'{12F97166-B0F9-4C8D-ADB1-7142444751C8}' } } " +
              ClassKeys(kServerClasses[0]) + ClassKeys(kServerClasses[1]) + u"}");
}

std::string Text(const RegistryTree& tree) {
  return platform::Utf16ToUtf8(tree.ToScript());
}

struct RegisterRow {
  ServerSwitch which;
  bool as_service;
  const char* steps;
};

// Service also sets LocalService, and installs before the classes.
const RegisterRow kRegisterRows[] = {
    {ServerSwitch::kRegServer, false, "path remove files"},
    {ServerSwitch::kService, true, "path remove install files"},
};

TEST(ServerRegistration, RegistersTheScriptsEntries) {
  for (const RegisterRow& row : kRegisterRows) {
    RegistryTree registry;
    RecordingPlatform platform;
    ASSERT_EQ(RunServerSwitch(row.which, registry, platform), S_OK);
    EXPECT_EQ(Text(registry), Registered(row.as_service));
    EXPECT_EQ(platform.steps, row.steps);
    bool as_service = !row.as_service;
    EXPECT_EQ(ReadServiceMode(registry, &as_service), S_OK);
    EXPECT_EQ(as_service, row.as_service);
  }
}

TEST(ServerRegistration, ASecondRegistrationLeavesTheSameTree) {
  RegistryTree registry;
  RecordingPlatform platform;
  ASSERT_EQ(RunServerSwitch(ServerSwitch::kService, registry, platform), S_OK);
  // Stale entries under a class key go; LocalService goes with RegServer.
  const std::u16string clsid = std::u16string(u"CLSID\\") + kServerClasses[1].clsid;
  registry.SetValue(RegistryRoot::kClassesRoot, clsid, u"Stale", StringValue(u"x"));
  registry.CreateKey(RegistryRoot::kClassesRoot, clsid + u"\\Programmable\\Old");
  ASSERT_EQ(RunServerSwitch(ServerSwitch::kRegServer, registry, platform), S_OK);
  EXPECT_EQ(Text(registry), Registered(false));
}

TEST(ServerRegistration, UnregServerLeavesOnlyTheSharedKeys) {
  RegistryTree registry;
  RecordingPlatform platform;
  ASSERT_EQ(RunServerSwitch(ServerSwitch::kService, registry, platform), S_OK);
  registry.CreateKey(RegistryRoot::kClassesRoot,
                     u"QoInfoAgent.ZuInfoAgent\\AddedBySomeoneElse");
  platform.steps.clear();
  ASSERT_EQ(RunServerSwitch(ServerSwitch::kUnregServer, registry, platform), S_OK);
  EXPECT_EQ(Text(registry), Tree(u"HKCR { AppID CLSID }"));
  EXPECT_EQ(platform.steps, "path nofiles remove");
  bool as_service = false;
  EXPECT_EQ(ReadServiceMode(registry, &as_service), kRegistryNotFound);
  // Unregistering again: the AppID key cannot be opened.
  EXPECT_EQ(RunServerSwitch(ServerSwitch::kUnregServer, registry, platform),
            kRegistryNotFound);
}

struct FailureRow {
  ServerSwitch which;
  const char* fail;
  HRESULT want;
  const char* steps;
};

const FailureRow kFailureRows[] = {
    {ServerSwitch::kRegServer, "path", E_ACCESSDENIED, "path"},
    {ServerSwitch::kRegServer, "remove", E_FAIL, "path remove"},
    {ServerSwitch::kRegServer, "script", E_ACCESSDENIED, "path remove"},
    {ServerSwitch::kService, "install", E_FAIL, "path remove install"},
    {ServerSwitch::kRegServer, "files", E_ACCESSDENIED, "path remove files"},
    {ServerSwitch::kUnregServer, "nofiles", E_ACCESSDENIED, "path nofiles"},
    {ServerSwitch::kUnregServer, "remove", E_FAIL, "path nofiles remove"},
};

TEST(ServerRegistration, StopsAtTheFirstFailingStep) {
  for (const FailureRow& row : kFailureRows) {
    RegistryTree registry;
    RecordingPlatform platform;
    platform.fail = row.fail;
    EXPECT_EQ(RunServerSwitch(row.which, registry, platform), row.want) << row.fail;
    EXPECT_EQ(platform.steps, row.steps) << row.fail;
    if (std::string(row.fail) == "script") {  // nothing written
      EXPECT_FALSE(registry.KeyExists(RegistryRoot::kClassesRoot, kAppIdKey));
    }
  }
}

}  // namespace
}  // namespace qoinfo
