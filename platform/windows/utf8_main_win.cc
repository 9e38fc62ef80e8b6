#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform/utf8.h"
#include "platform/utf8_main.h"
#include "platform/wide_string.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    args.push_back(platform::Utf16ToUtf8(platform::FromOleString(argv[i])));
  }
  // Bytes pass through unchanged: no CR/LF translation, UTF-8 on a console.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
  return Utf8Main(args);
}
