// The idle rule: a fall of the lock count to zero followed by a quiet
// timeout ends the server; a lock held, or taken again, keeps it.
#include "host/idle_rule.h"

#include <gtest/gtest.h>

#include <future>

namespace qoinfo {
namespace {

constexpr std::chrono::milliseconds kShort{20};
// Far beyond the rule's own timeout: only a rule that never fires waits it.
constexpr std::chrono::seconds kPatience{10};

TEST(IdleRule, QuitsAfterAFallAndAQuietTimeout) {
  CModuleLockCount count;
  std::promise<void> quit;
  CIdleRule rule(count, [&quit] { quit.set_value(); }, kShort);
  rule.Start();
  count.Lock();
  count.Unlock();
  EXPECT_EQ(quit.get_future().wait_for(kPatience), std::future_status::ready);
}

TEST(IdleRule, DoesNotQuitWhileALockIsHeld) {
  CModuleLockCount count;
  std::atomic<bool> quit{false};
  {
    CIdleRule rule(count, [&quit] { quit = true; }, kShort);
    rule.Start();
    count.Lock();
    count.Unlock();
    count.Lock();  // taken again before the timeout ran out
    std::this_thread::sleep_for(kShort * 10);
    rule.Stop();
  }
  EXPECT_FALSE(quit);
  count.Unlock();
}

}  // namespace
}  // namespace qoinfo
