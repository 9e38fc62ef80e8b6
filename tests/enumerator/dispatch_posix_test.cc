// Without type libraries the enumerator refuses late-bound calls but keeps
// the IDispatch and IProvideClassInfo contracts for null pointers.
#include <gtest/gtest.h>

#include "enumerator/search_data_enumerator.h"
#include "tests/support/com_ptr.h"

namespace qoinfo {
namespace {

using testing::ComPtr;

TEST(EnumeratorDispatchWithoutTypeLibrary, ReportsOneTypeInfoAndRefusesCalls) {
  ComPtr<CSearchDataEnumerator> enumerator;
  ASSERT_EQ(CSearchDataEnumerator::Create(enumerator.out()), S_OK);
  UINT count = 0;
  EXPECT_EQ(enumerator->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(enumerator->GetTypeInfoCount(nullptr), E_POINTER);

  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1234);
  EXPECT_EQ(enumerator->GetTypeInfo(0, 0, &info), E_NOTIMPL);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(enumerator->GetTypeInfo(0, 0, nullptr), E_POINTER);
  OLECHAR name[] = u"Next";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  EXPECT_EQ(enumerator->GetIDsOfNames(IID_IUnknown, names, 1, 0, &id),
            E_NOTIMPL);
  EXPECT_EQ(enumerator->Invoke(1, IID_IUnknown, 0, 1, nullptr, nullptr, nullptr,
                               nullptr),
            E_NOTIMPL);
}

TEST(EnumeratorDispatchWithoutTypeLibrary, ClassInfoIsRefused) {
  ComPtr<IProvideClassInfo> provider;
  ASSERT_EQ(CSearchDataEnumerator::CreateInstance(
                nullptr, IID_IProvideClassInfo, provider.out_void()),
            S_OK);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1234);
  EXPECT_EQ(provider->GetClassInfo(&info), E_NOTIMPL);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(provider->GetClassInfo(nullptr), E_POINTER);
}

}  // namespace
}  // namespace qoinfo
