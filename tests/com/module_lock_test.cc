// The module lock count: locks and unlocks from any thread, and the news of
// every fall to zero for the host's idle rule.
#include "com/module_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace qoinfo {
namespace {

class CountingListener final : public ModuleLockListener {
 public:
  void OnLockCountZero() override { ++falls; }
  std::atomic<int> falls{0};
};

TEST(ModuleLock, LockAndUnlockReturnTheNewCount) {
  CModuleLockCount count;
  EXPECT_EQ(count.Count(), 0);
  EXPECT_EQ(count.Lock(), 1);
  EXPECT_EQ(count.Lock(), 2);
  EXPECT_EQ(count.Count(), 2);
  EXPECT_EQ(count.Unlock(), 1);
  EXPECT_EQ(count.Unlock(), 0);
  EXPECT_EQ(count.Count(), 0);
}

TEST(ModuleLock, TellsTheListenerOfEachFallToZero) {
  CModuleLockCount count;
  CountingListener listener;
  count.SetListener(&listener);
  count.Lock();
  count.Lock();
  count.Unlock();
  EXPECT_EQ(listener.falls, 0);
  count.Unlock();
  EXPECT_EQ(listener.falls, 1);
  // A new lock and its release is a new fall.
  count.Lock();
  count.Unlock();
  EXPECT_EQ(listener.falls, 2);
  count.SetListener(nullptr);
  count.Lock();
  count.Unlock();
  EXPECT_EQ(listener.falls, 2);
}

TEST(ModuleLock, CountsLocksFromManyThreads) {
  CModuleLockCount count;
  CountingListener listener;
  count.Lock();  // held throughout, so the count never falls to zero
  count.SetListener(&listener);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&count] {
      for (int i = 0; i < 20000; ++i) {
        count.Lock();
        count.Unlock();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(count.Count(), 1);
  EXPECT_EQ(listener.falls, 0);
  EXPECT_EQ(count.Unlock(), 0);
  EXPECT_EQ(listener.falls, 1);
}

TEST(ModuleLock, HolderKeepsOneProcessLockForItsLife) {
  const std::int32_t before = ProcessModuleLock().Count();
  {
    ModuleLockHolder first;
    EXPECT_EQ(ProcessModuleLock().Count(), before + 1);
    {
      ModuleLockHolder second;
      EXPECT_EQ(ProcessModuleLock().Count(), before + 2);
    }
    EXPECT_EQ(ProcessModuleLock().Count(), before + 1);
  }
  EXPECT_EQ(ProcessModuleLock().Count(), before);
}

}  // namespace
}  // namespace qoinfo
