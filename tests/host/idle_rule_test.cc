// The idle rule: a fall of the lock count to zero followed by a quiet
// timeout ends the server; a lock held, or taken again, keeps it.
#include "host/idle_rule.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

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

// The count may be telling a fall to the rule on another thread (an object
// released there) while the server ends and destroys the rule; the rule must
// not be told anything after its end. The listener here stands between the
// count and the rule as the Windows server's module does, and holds the
// telling until the destruction has had its chance to finish.
TEST(IdleRule, IsNotToldOfAFallAfterItsEnd) {
  class Gate final : public ModuleLockListener {
   public:
    void OnLockCountZero() override {
      entered.set_value();
      go.wait();
      told_after_end = rule_ended.load();
    }
    std::promise<void> entered;
    std::shared_future<void> go;
    std::atomic<bool> rule_ended{false};
    bool told_after_end = false;
  };
  CModuleLockCount count;
  auto rule = std::make_unique<CIdleRule>(count, [] {}, kPatience);
  rule->Start();
  Gate gate;
  std::promise<void> release;
  gate.go = release.get_future().share();
  count.SetListener(&gate);
  count.Lock();
  std::thread fall([&count] { count.Unlock(); });
  gate.entered.get_future().wait();
  std::thread end([&] {
    rule.reset();
    gate.rule_ended = true;
  });
  // Time enough for an end that does not wait for the telling to finish.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  release.set_value();
  fall.join();
  end.join();
  EXPECT_FALSE(gate.told_after_end);
}

}  // namespace
}  // namespace qoinfo
