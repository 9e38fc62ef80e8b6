#include "host/windows/version_output_win.h"

#include <windows.h>

#include <cstring>

#include "product_version.h"

namespace qoinfo::win {
namespace {

bool Usable(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

}  // namespace

int PrintVersion() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  // A GUI program started from a console has no standard output: it
  // borrows its parent's console to answer there.
  if (!Usable(out) && AttachConsole(ATTACH_PARENT_PROCESS)) {
    out = GetStdHandle(STD_OUTPUT_HANDLE);
  }
  if (Usable(out)) {
    const char* text = kVersionText;
    DWORD written = 0;
    WriteFile(out, text, static_cast<DWORD>(std::strlen(text)), &written,
              nullptr);
    WriteFile(out, "\r\n", 2, &written, nullptr);
  }
  return 0;
}

}  // namespace qoinfo::win
