// A progress bar on standard error, "import: [#####     ] 1234/3302 files",
// redrawn at most ten times a second, and only when standard error is a
// terminal (never into a log or a pipe). Used on one thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace qoinfo::tools {

class ProgressLine {
 public:
  // `label` before the bar ("import"), `unit` after the count ("files").
  ProgressLine(std::string label, std::string unit, std::size_t total);
  ~ProgressLine() { End(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Update(std::size_t done);
  // Ends the line drawn so far (before a message, or at the end).
  void End();

 private:
  std::string m_label;
  std::string m_unit;
  std::size_t m_total;
  bool m_shown;
  bool m_drawn = false;
  std::chrono::steady_clock::time_point m_last{};
};

}  // namespace qoinfo::tools
