#include "host/linux/server_log.h"

#include <syslog.h>

#include <atomic>
#include <cstdio>

#include <systemd/sd-journal.h>

namespace qoinfo::bus {
namespace {

std::atomic<bool> g_journal{false};

}  // namespace

void LogToJournal(bool journal) { g_journal = journal; }

void Log(const std::string& line) {
  if (g_journal) {
    sd_journal_print(LOG_INFO, "%s", line.c_str());
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
}

}  // namespace qoinfo::bus
