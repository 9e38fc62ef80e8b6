#include "index/url_date.h"

#include <gtest/gtest.h>

#include "platform/hresult_error.h"
#include "platform/wide_string.h"
#include "tests/support/allocation_failure.h"

namespace qoinfo {
namespace {

TEST(CUrlDate, CopiesStringsUpToTheirFirstNulAndKeepsNulls) {
  BSTR url = platform::AllocBstr(std::u16string(u"http://x\0tail", 13));
  BSTR title = platform::AllocBstr(u"Title");
  const _URL_DATE_IA data{42, url, nullptr, nullptr, title};
  {
    CUrlDate copy(data);
    EXPECT_EQ(copy.m_time, 42);
    EXPECT_NE(copy.m_url, url);
    EXPECT_EQ(SysStringLen(copy.m_url), 8u);
    EXPECT_EQ(copy.m_text, nullptr);
    EXPECT_EQ(copy.m_path, nullptr);
    EXPECT_EQ(platform::FromOleString(copy.m_title), u"Title");
  }
  // The caller's strings are untouched.
  EXPECT_EQ(SysStringLen(url), 13u);
  SysFreeString(url);
  SysFreeString(title);
}

TEST(CUrlDate, AllocationFailureRaisesOutOfMemoryAndLeaksNothing) {
  BSTR text = platform::AllocBstr(u"text");
  const _URL_DATE_IA data{1, text, text, text, text};
  bool failed_somewhere = false;
  for (std::size_t n = 0; n < 8; ++n) {
    testing::FailAllocationsAfter fail(n);
    try {
      CUrlDate copy(data);
    } catch (const platform::HResultError& e) {
      EXPECT_EQ(e.hr(), E_OUTOFMEMORY);
      failed_somewhere = true;
    }
  }
  SysFreeString(text);
  if (testing::kBstrsUseOperatorNew) {
    EXPECT_TRUE(failed_somewhere);
  }
}

}  // namespace
}  // namespace qoinfo
