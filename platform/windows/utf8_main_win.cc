#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform/utf8.h"
#include "platform/utf8_main.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    std::u16string arg;
    for (const wchar_t* p = argv[i]; *p != 0; ++p) arg.push_back(*p);
    args.push_back(platform::Utf16ToUtf8(arg));
  }
  // Bytes pass through unchanged: no CR/LF translation, UTF-8 on a console.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
  return Utf8Main(args);
}
