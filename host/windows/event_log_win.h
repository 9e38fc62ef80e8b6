// The server's log: one information event (type 4, category 0, event 0, one
// string) in the Windows event log of this machine under the source named
// by the service name, and the same line on standard output when the server
// does not run as a service. Nothing is written to the log when the source
// cannot be opened. Thread-safe.
#pragma once

#include <string>

namespace qoinfo::win {

// Writes `text`, cut to 255 characters as the module's log buffer holds.
void LogServerEvent(const std::wstring& source, std::wstring text,
                    bool to_standard_output);

}  // namespace qoinfo::win
