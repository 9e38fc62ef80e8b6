#include "tools/common/progress_line.h"

#include <iostream>

#include "platform/console.h"

namespace qoinfo::tools {

ProgressLine::ProgressLine(std::string label, std::string unit,
                           std::size_t total)
    : m_label(std::move(label)),
      m_unit(std::move(unit)),
      m_total(total),
      m_shown(platform::IsStandardErrorTerminal()) {}

void ProgressLine::Update(std::size_t done) {
  if (!m_shown) return;
  const auto now = std::chrono::steady_clock::now();
  if (done != m_total && now - m_last < std::chrono::milliseconds(100)) {
    return;
  }
  m_last = now;
  m_drawn = true;
  const std::size_t width = 30;
  const std::size_t filled = m_total == 0 ? width : done * width / m_total;
  std::cerr << '\r' << m_label << ": [" << std::string(filled, '#')
            << std::string(width - filled, ' ') << "] " << done << '/'
            << m_total << ' ' << m_unit << std::flush;
}

void ProgressLine::End() {
  if (m_drawn) std::cerr << '\n';
  m_drawn = false;
}

}  // namespace qoinfo::tools
