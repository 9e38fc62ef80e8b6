// Late-bound calls on Windows: the event sink's Invoke with automation's
// argument conversions and its type information from this executable's
// library, and the agent's IDispatch and IProvideClassInfo served from the
// registered library.
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "tests/agent/running_agent_test.h"
#include "tests/support/type_library_win.h"

namespace qoinfo::testing {
namespace {

class DispatchTest : public RunningAgentTest {
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
    Start();
    sink = base.sinks.begin()->second;
  }

  // Invoke on the sink with `args` (in DISPPARAMS' reverse order).
  HRESULT InvokeSink(DISPID id, std::vector<VARIANT> args, UINT* arg_error = nullptr,
                     VARIANT* result = nullptr) {
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    return sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result,
                        nullptr, arg_error);
  }

  IBromURLBaseEvents* sink = nullptr;
};

VARIANT Int32(LONG value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

VARIANT UInt32(ULONG value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_UI4;
  V_UI4(&v) = value;
  return v;
}

// Owns the BSTR in the variant for the test's duration.
struct StringVariant {
  explicit StringVariant(const wchar_t* text) {
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(text);
  }
  ~StringVariant() { VariantClear(&v); }
  VARIANT v;
};

TEST_F(DispatchTest, RemovalThroughInvokeConvertsItsArgument) {
  ASSERT_EQ(AddPage(agent.get(), 5, u"http://a/", u"alpha"), S_OK);
  base.visits[12] = {5, u"http://a/", u"", u""};
  StringVariant twelve(L"12");
  VARIANT result = Int32(99);
  EXPECT_EQ(InvokeSink(2, {twelve.v}, nullptr, &result), S_OK);
  EXPECT_EQ(V_VT(&result), VT_EMPTY);
  EXPECT_EQ(Pages(), 0u);
}

TEST_F(DispatchTest, ArgumentsThatAreNoInt32AreRefused) {
  StringVariant letters(L"twelve");
  UINT arg_error = 77;
  EXPECT_EQ(InvokeSink(2, {letters.v}, &arg_error), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_error, 0u);
  arg_error = 77;
  EXPECT_EQ(InvokeSink(1, {UInt32(0x80000000u)}, &arg_error), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_error, 0u);
  EXPECT_EQ(InvokeSink(1, {UInt32(7)}), S_FALSE);  // converted; unbound
}

TEST_F(DispatchTest, ArgumentCountsAndMembersAreChecked) {
  EXPECT_EQ(sink->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr,
                         nullptr, nullptr),
            DISP_E_BADVARTYPE);
  EXPECT_EQ(InvokeSink(2, {}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(InvokeSink(2, {Int32(1), Int32(2)}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(InvokeSink(3, {Int32(1)}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(InvokeSink(3, {}), S_FALSE);
  EXPECT_EQ(InvokeSink(4, {}), DISP_E_MEMBERNOTFOUND);
}

TEST_F(DispatchTest, TheSinkDescribesItselfFromTheModulesLibrary) {
  UINT count = 7;
  EXPECT_EQ(sink->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(sink->GetTypeInfo(1, 0, info.out()), DISP_E_BADINDEX);
  ASSERT_EQ(sink->GetTypeInfo(0, 0, info.out()), S_OK);
  EXPECT_TRUE(IsEqualGUID(TypeGuid(info.get()), IID_IBromURLBaseEvents));
}

TEST_F(DispatchTest, TheAgentSearchesThroughInvokeAndNamesItsClass) {
  ASSERT_EQ(AddPage(agent.get(), 5, u"http://a/", u"alpha"), S_OK);
  StringVariant query(L"alpha");
  DISPPARAMS params{&query.v, nullptr, 1, 0};
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(agent->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &params, &result,
                          nullptr, nullptr),
            S_OK);
  ASSERT_EQ(V_VT(&result), VT_DISPATCH);
  ComPtr<ISearchDataEnumerator> hits;
  ASSERT_EQ(V_DISPATCH(&result)->QueryInterface(IID_ISearchDataEnumerator,
                                                hits.out_void()),
            S_OK);
  VariantClear(&result);
  EXPECT_EQ(Drain(hits.get()).size(), 1u);

  ComPtr<IProvideClassInfo> provider;
  ASSERT_EQ(agent->QueryInterface(IID_IProvideClassInfo, provider.out_void()), S_OK);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(provider->GetClassInfo(info.out()), S_OK);
  EXPECT_TRUE(IsEqualGUID(TypeGuid(info.get()), CLSID_CZuInfoAgent));
}

}  // namespace
}  // namespace qoinfo::testing
