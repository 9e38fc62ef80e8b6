// EmbeddedConnection: the agent and the history run in this process
// (EmbeddedAgent), behind the interface the commands use.
#pragma once

#include "tools/common/agent_connection.h"
#include "tools/qoinfo/embedded_agent.h"

namespace qoinfo::tools {

class EmbeddedConnection final : public AgentConnection {
 public:
  // `data_directory` empty: the user's data directory.
  explicit EmbeddedConnection(std::u16string data_directory)
      : m_dataDirectory(std::move(data_directory)) {}

  HRESULT OpenHistory(std::string* error) override {
    return m_embedded.OpenHistory(m_dataDirectory, error);
  }
  HRESULT Start(std::string* error) override {
    return m_embedded.Start(m_dataDirectory, error);
  }
  HRESULT Stop() override { return m_embedded.Stop(); }
  bool started() const override { return m_embedded.started(); }
  IZuInfoAgent* agent() const override { return m_embedded.agent(); }
  IBromURLBase* history() const override { return m_embedded.history(); }
  std::u16string DataDirectory() const override {
    return m_embedded.DataDirectory();
  }
  bool HasLiveIndex() const override { return started(); }
  HRESULT HasPage(std::int64_t time, const std::u16string& url,
                  bool* indexed) override;
  HRESULT CountIndex(IndexCounts* counts) override;
  const CIDContainer* InProcessRecords() const override {
    return started() ? &m_embedded.agent_object()->Records() : nullptr;
  }
  std::u16string LocalDataDirectory() const override;

 private:
  const std::u16string m_dataDirectory;
  EmbeddedAgent m_embedded;
};

}  // namespace qoinfo::tools
