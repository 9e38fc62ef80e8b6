// Next when its strings cannot be allocated: nothing is handed out, nothing
// is consumed, nothing leaks, and the next call delivers the same hit.
#include <gtest/gtest.h>

#include "tests/enumerator/enumerator_test_support.h"
#include "tests/support/allocation_failure.h"

namespace qoinfo {
namespace {

using testing::FilledEnumerator;
using testing::Hit;
using testing::HitOf;
using testing::NextHit;

TEST(EnumeratorNextOutOfMemory, ConsumesNothingAndLeavesDataUntouched) {
  // The best entry has no record, so a failed call also has entries it
  // skipped on the way; they must come back as well.
  auto enumerator =
      FilledEnumerator({{10, 1}, {20, 2}, {30, 3}, {40, 4}}, {1, 3});
  const BSTR sentinel = reinterpret_cast<BSTR>(0x1234);
  bool failed_somewhere = false;
  for (std::size_t n = 0; n < 4; ++n) {
    _URL_DATE_IA_S data{77, sentinel, sentinel, sentinel, 66};
    HRESULT hr;
    {
      testing::FailAllocationsAfter fail(n);
      hr = enumerator->Next(&data);
    }
    if (hr == E_OUTOFMEMORY) {
      failed_somewhere = true;
      EXPECT_EQ(data.Time, 77);
      EXPECT_EQ(data.Url, sentinel);
      EXPECT_EQ(data.Path, sentinel);
      EXPECT_EQ(data.Title, sentinel);
      EXPECT_EQ(data.Percent, 66);
    } else {
      ASSERT_EQ(hr, S_OK) << n;
      for (BSTR text : {data.Url, data.Path, data.Title}) SysFreeString(text);
      ASSERT_EQ(enumerator->Reset(), S_OK);
    }
    // Whatever happened, the best hit comes next.
    Hit hit;
    ASSERT_EQ(NextHit(enumerator.get(), &hit), S_OK) << n;
    EXPECT_EQ(hit, HitOf(3, 30)) << n;
    ASSERT_EQ(enumerator->Reset(), S_OK);
  }
  if (testing::kBstrsUseOperatorNew) {
    EXPECT_TRUE(failed_somewhere);
  }
}

}  // namespace
}  // namespace qoinfo
