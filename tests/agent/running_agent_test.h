// A fixture for tests of a running agent: COM prepared, a scripted URL base
// object registered under its class and naming a fresh data directory,
// alerts recorded, and the agent's factory; Start creates the agent.
#pragma once

#include "tests/agent/agent_test_support.h"
#include "tests/agent/scripted_url_base.h"
#include "tests/support/temp_dir.h"

namespace qoinfo::testing {

class RunningAgentTest : public ::testing::Test {
 protected:
  RunningAgentTest() { base.directories = {dir.u16()}; }

  // Creates the agent over whatever index files `dir` holds.
  void Start() {
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IZuInfoAgent, agent.out_void()),
              S_OK);
    object = AgentObject(agent.get());
  }
  std::size_t Pages() const { return object->Records().GetRecords().size(); }

  ComApartment apartment;
  TempDir dir;
  ScriptedURLBase base;
  AlertRecorder alerts;
  URLBaseRegistration registration{static_cast<IBromURLBase*>(&base)};
  ComPtr<CZuInfoAgentFactory> factory{CZuInfoAgentFactory::New()};
  ComPtr<IZuInfoAgent> agent;
  CZuInfoAgent* object = nullptr;
};

}  // namespace qoinfo::testing
