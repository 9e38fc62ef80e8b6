#include "platform/utf8_main.h"

int main(int argc, char** argv) {
  return Utf8Main(std::vector<std::string>(argv, argv + argc));
}
