// The enumerator's late-bound side on Windows: IDispatch and
// IProvideClassInfo served from the registered type library. The library is
// this executable's own TYPELIB resource, registered for the suite.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "enumerator/search_data_enumerator.h"
#include "tests/enumerator/enumerator_test_support.h"
#include "tests/support/type_library_win.h"

namespace qoinfo {
namespace {

using testing::ComPtr;
using testing::FilledEnumerator;
using testing::Hit;
using testing::HitOf;
using testing::NextHit;
using testing::RegisterOwnTypeLibrary;
using testing::TypeGuid;
using testing::UnregisterOwnTypeLibrary;

class EnumeratorDispatch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_EQ(RegisterOwnTypeLibrary(), S_OK);
  }
  static void TearDownTestSuite() {
    UnregisterOwnTypeLibrary();
    CoUninitialize();
  }

  void SetUp() override {
    enumerator_ = FilledEnumerator({{10, 1}, {20, 2}}, {1, 2});
    ASSERT_NE(enumerator_.get(), nullptr);
    ASSERT_EQ(enumerator_->QueryInterface(IID_IDispatch, dispatch_.out_void()),
              S_OK);
  }

  HRESULT InvokeMethod(DISPID id, VARIANT* args, UINT arg_count,
                       VARIANT* result) {
    DISPPARAMS params{args, nullptr, arg_count, 0};
    EXCEPINFO exception{};
    UINT arg_error = 0;
    return dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                             &params, result, &exception, &arg_error);
  }

  ComPtr<CSearchDataEnumerator> enumerator_;
  ComPtr<IDispatch> dispatch_;
};

TEST_F(EnumeratorDispatch, ReportsOneTypeInfo) {
  UINT count = 0;
  EXPECT_EQ(dispatch_->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(dispatch_->GetTypeInfoCount(nullptr), E_POINTER);
}

TEST_F(EnumeratorDispatch, TypeInfoIsTheInterfaces) {
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(dispatch_->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.out()), S_OK);
  EXPECT_TRUE(IsEqualGUID(TypeGuid(info.get()), IID_ISearchDataEnumerator));
  ITypeInfo* none = reinterpret_cast<ITypeInfo*>(0x1234);
  EXPECT_EQ(dispatch_->GetTypeInfo(1, LOCALE_USER_DEFAULT, &none),
            DISP_E_BADINDEX);
  EXPECT_EQ(none, nullptr);
}

struct NameRow {
  const wchar_t* name;
  DISPID id;
};

TEST_F(EnumeratorDispatch, NamesResolveToDispatchIdentifiers) {
  const NameRow kNames[] = {
      {L"Next", 1},    {L"Reset", 2},   {L"Count", 3},
      {L"GetThis", 4}, {L"getthis", 4},  // names are matched without regard to
                                         // case
  };
  for (const NameRow& row : kNames) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(row.name)};
    DISPID id = 0;
    EXPECT_EQ(
        dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id),
        S_OK)
        << row.name;
    EXPECT_EQ(id, row.id) << row.name;
  }
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"Search")};
  DISPID id = 0;
  EXPECT_EQ(
      dispatch_->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id),
      DISP_E_UNKNOWNNAME);
  EXPECT_EQ(dispatch_->GetIDsOfNames(IID_IDispatch, unknown, 1,
                                     LOCALE_USER_DEFAULT, &id),
            DISP_E_UNKNOWNINTERFACE);
}

TEST_F(EnumeratorDispatch, CountTakesNoArgument) {
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(InvokeMethod(3, nullptr, 0, &result), S_OK);
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_I4;
  arg.lVal = 1;
  EXPECT_EQ(InvokeMethod(3, &arg, 1, &result), DISP_E_BADPARAMCOUNT);
}

TEST_F(EnumeratorDispatch, ResetThroughInvokeStartsAgain) {
  Hit hit;
  ASSERT_EQ(NextHit(enumerator_.get(), &hit), S_OK);
  ASSERT_EQ(NextHit(enumerator_.get(), &hit), S_OK);
  EXPECT_EQ(hit, HitOf(1, 10));
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(InvokeMethod(2, nullptr, 0, &result), S_OK);
  ASSERT_EQ(NextHit(enumerator_.get(), &hit), S_OK);
  EXPECT_EQ(hit, HitOf(2, 20));
}

TEST_F(EnumeratorDispatch, GetThisThroughInvokeGivesTheAddress) {
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(InvokeMethod(4, nullptr, 0, &result), S_OK);
  EXPECT_EQ(result.vt, VT_I8);
  EXPECT_EQ(result.llVal, static_cast<LONGLONG>(reinterpret_cast<std::intptr_t>(
                              enumerator_.get())));
}

TEST_F(EnumeratorDispatch, InvokeRefusesAnInterfaceIdentifier) {
  DISPPARAMS params{nullptr, nullptr, 0, 0};
  EXPECT_EQ(
      dispatch_->Invoke(3, IID_IDispatch, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                        &params, nullptr, nullptr, nullptr),
      DISP_E_UNKNOWNINTERFACE);
}

TEST_F(EnumeratorDispatch, ClassInfoIsTheCoclass) {
  ComPtr<IProvideClassInfo> provider;
  ASSERT_EQ(
      enumerator_->QueryInterface(IID_IProvideClassInfo, provider.out_void()),
      S_OK);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(provider->GetClassInfo(info.out()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_COCLASS);
  EXPECT_TRUE(IsEqualGUID(attr->guid, CLSID_CSearchDataEnumerator));
  info->ReleaseTypeAttr(attr);
  EXPECT_EQ(provider->GetClassInfo(nullptr), E_POINTER);
}

TEST_F(EnumeratorDispatch, WithoutTheRegisteredLibraryOnlyVtableCallsWork) {
  ASSERT_EQ(UnregisterOwnTypeLibrary(), S_OK);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1234);
  EXPECT_TRUE(FAILED(dispatch_->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)));
  EXPECT_EQ(info, nullptr);
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Next")};
  DISPID id = 0;
  EXPECT_TRUE(FAILED(
      dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)));
  Hit hit;
  EXPECT_EQ(NextHit(enumerator_.get(), &hit), S_OK);
  EXPECT_EQ(hit, HitOf(2, 20));
  ASSERT_EQ(RegisterOwnTypeLibrary(), S_OK);
  EXPECT_EQ(
      dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id),
      S_OK);
}

}  // namespace
}  // namespace qoinfo
