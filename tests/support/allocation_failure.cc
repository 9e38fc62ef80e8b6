#include "tests/support/allocation_failure.h"

#include <cstdlib>
#include <new>

namespace {

bool g_armed = false;
bool g_triggered = false;
std::size_t g_remaining = 0;

bool ShouldFail() {
  if (!g_armed) return false;
  if (g_remaining == 0) {
    g_triggered = true;
    return true;
  }
  --g_remaining;
  return false;
}

void* Allocate(std::size_t size) {
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

namespace qoinfo::testing {

FailAllocationsAfter::FailAllocationsAfter(std::size_t n) {
  g_remaining = n;
  g_triggered = false;
  g_armed = true;
}

FailAllocationsAfter::~FailAllocationsAfter() { g_armed = false; }

bool FailAllocationsAfter::triggered() const { return g_triggered; }

}  // namespace qoinfo::testing

void* operator new(std::size_t size) {
  void* p = ShouldFail() ? nullptr : Allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return ShouldFail() ? nullptr : Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return ShouldFail() ? nullptr : Allocate(size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
