// QoInfoAgent.exe: the search agent as a COM local server or Windows
// service, or, with a switch on its command line, its own registration
// (agent_module_win.h). A GUI-subsystem program without windows.
#include <windows.h>

#include "host/windows/agent_module_win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  // The module lives from before the entry point's work to after it, as
  // the process's one host object.
  qoinfo::win::CQoInfoAgentModule module;
  return module.WinMain(show);
}
