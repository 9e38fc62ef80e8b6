// Fault injection for tests: makes the global operator new fail (throw
// std::bad_alloc, or return null for the nothrow forms) after a given number
// of successful allocations, so that tests can walk every allocation point
// of an operation. Single-threaded tests only.
#pragma once

#include <cstddef>
#include <utility>

namespace qoinfo::testing {

// Whether BSTRs are allocated through operator new (and so can be made to
// fail). Windows allocates them in the system's own heap.
#if defined(_WIN32)
inline constexpr bool kBstrsUseOperatorNew = false;
#else
inline constexpr bool kBstrsUseOperatorNew = true;
#endif

// Allocation number `n` from now (0 = the very next one) and every one after
// it fails, until the scope ends.
class FailAllocationsAfter {
 public:
  explicit FailAllocationsAfter(std::size_t n);
  ~FailAllocationsAfter();
  FailAllocationsAfter(const FailAllocationsAfter&) = delete;
  FailAllocationsAfter& operator=(const FailAllocationsAfter&) = delete;

  // Whether any allocation was refused during the scope.
  bool triggered() const;
};

// Runs `operation` with allocation `n` onward failing. Returns its result
// and whether any allocation was refused.
template <typename Operation>
auto WithAllocationsFailingAfter(std::size_t n, Operation&& operation) {
  FailAllocationsAfter fail(n);
  auto result = operation();
  return std::pair{result, fail.triggered()};
}

}  // namespace qoinfo::testing
