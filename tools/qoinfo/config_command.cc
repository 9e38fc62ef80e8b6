// qoinfo config: the person's settings that the history keeps. One so far,
// store-text: whether the history keeps each page's text (compressed) for
// snippets and phrases. Turning it off erases every kept text at once.
#include <iostream>

#include "platform/com_ptr.h"
#include "tools/common/exit_codes.h"
#include "tools/qoinfo/command_line.h"
#include "tools/qoinfo/commands.h"
#include "urlbase/page_texts.h"

namespace qoinfo::tools {
namespace {

constexpr char kUsage[] =
    "usage: qoinfo config store-text [on|off]\n"
    "store-text: whether the history keeps the text of each page it files,\n"
    "compressed, for snippets and phrases (default on). 'off' erases every\n"
    "kept text from the history's files; pages filed meanwhile keep none.\n"
    "Without on or off, prints the setting.\n";

}  // namespace

int RunConfigCommand(Session& session, const Arguments& args) {
  const std::string command = "config";
  ParsedArguments parsed;
  int status = kExitOk;
  if (!ReadCommandArguments(command, args, CommandSyntax{{}, {}, true}, kUsage,
                            &parsed, &status)) {
    return status;
  }
  const std::vector<std::string>& operands = parsed.operands;
  const bool valid = (operands.size() == 1 || operands.size() == 2) &&
                     operands[0] == "store-text" &&
                     (operands.size() == 1 || operands[1] == "on" ||
                      operands[1] == "off");
  if (!valid) {
    ReportError(command, "expected 'store-text' and optionally on or off");
    std::cerr << kUsage;
    return kExitUsage;
  }
  // Reading the setting creates nothing; setting it may make a new history
  // that starts with it.
  const bool setting = operands.size() == 2;
  if (!session.EnsureHistory(
          command, setting ? DataUse::kMayCreate : DataUse::kExisting)) {
    return kExitFailure;
  }
  platform::ComPtr<IBromPageTexts> texts;
  HRESULT hr = session.agent_connection().history()->QueryInterface(
      IID_IBromPageTexts, texts.out_void());
  if (FAILED(hr) || texts.get() == nullptr) {
    ReportError(command, "this history keeps no page texts: " +
                             DescribeHResult(FAILED(hr) ? hr : E_POINTER));
    return kExitFailure;
  }
  if (setting) {
    hr = texts->SetKeepTexts(operands[1] == "on" ? 1 : 0);
    if (FAILED(hr)) {
      ReportError(command,
                  "the setting could not be changed: " + DescribeHResult(hr));
      return kExitFailure;
    }
  }
  LONG keep = 0;
  ULONG count = 0;
  std::int64_t bytes = 0;
  hr = texts->GetTextTotals(&keep, &count, &bytes);
  if (FAILED(hr)) {
    ReportError(command,
                "the setting could not be read: " + DescribeHResult(hr));
    return kExitFailure;
  }
  std::cout << "store-text " << (keep != 0 ? "on" : "off") << " (" << count
            << " texts kept, " << bytes << " bytes)\n"
            << std::flush;
  return std::cout ? kExitOk : kExitFailure;
}

}  // namespace qoinfo::tools
