// The servers' log: the journal when running as a systemd service, standard
// error otherwise (a bus-activated service's standard error goes to the
// bus's log). One line per call. Thread-safe.
#pragma once

#include <string>

namespace qoinfo::bus {

void LogToJournal(bool journal);
void Log(const std::string& line);

}  // namespace qoinfo::bus
