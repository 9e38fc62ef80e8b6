// Finding the registration switches on a server's command line.
#include "host/command_switches.h"

#include <gtest/gtest.h>

namespace qoinfo {
namespace {

struct SwitchRow {
  const char16_t* line;
  ServerSwitch want;
};

const SwitchRow kRows[] = {
    {u"QoInfoAgent.exe /regserver", ServerSwitch::kRegServer},
    {u"QoInfoAgent.exe -REGSERVER", ServerSwitch::kRegServer},
    {u"QoInfoAgent.exe /RegServer", ServerSwitch::kRegServer},
    {u"QoInfoAgent.exe /RegServer\tmore", ServerSwitch::kRegServer},
    {u"QoInfoAgent.exe /RegServerX", ServerSwitch::kNone},
    {u"QoInfoAgent.exe /Reg", ServerSwitch::kNone},
    {u"QoInfoAgent.exe RegServer", ServerSwitch::kNone},
    {u"QoInfoAgent.exe", ServerSwitch::kNone},
    {u"QoInfoAgent.exe /UnregServer", ServerSwitch::kUnregServer},
    {u"QoInfoAgent.exe -unregserver", ServerSwitch::kUnregServer},
    {u"QoInfoAgent.exe /Service", ServerSwitch::kService},
    {u"QoInfoAgent.exe --service", ServerSwitch::kService},
    // The first pass wins over Service, whatever the order.
    {u"QoInfoAgent.exe /Service /RegServer", ServerSwitch::kRegServer},
    {u"QoInfoAgent.exe /UnregServer /RegServer", ServerSwitch::kUnregServer},
    {u"QoInfoAgent.exe /RegServer /UnregServer", ServerSwitch::kRegServer},
    // Every '-' and '/' starts a candidate, inside the path too.
    {u"/opt/RegServer /x", ServerSwitch::kRegServer},
    {u"C:\\my-service\\QoInfoAgent.exe", ServerSwitch::kNone},
    {u"C:\\x-Service a", ServerSwitch::kService},
    // "--RegServer": the second '-' starts "RegServer".
    {u"qoinfoagent --RegServer", ServerSwitch::kRegServer},
    // Version: after the registration switches, before Service.
    {u"qoinfoagent --version", ServerSwitch::kVersion},
    {u"QoInfoAgent.exe /Version", ServerSwitch::kVersion},
    {u"bromhelper -VERSION", ServerSwitch::kVersion},
    {u"QoInfoAgent.exe /Service /Version", ServerSwitch::kVersion},
    {u"QoInfoAgent.exe /Version /RegServer", ServerSwitch::kRegServer},
    {u"QoInfoAgent.exe /Versions", ServerSwitch::kNone},
};

TEST(CommandSwitches, FindsTheSwitchOfEachLine) {
  for (const SwitchRow& row : kRows) {
    EXPECT_EQ(FindServerSwitch(row.line), row.want)
        << std::u16string(row.line).size();
  }
}

}  // namespace
}  // namespace qoinfo
