// The enumerator as a COM object: creation, the interfaces QueryInterface
// answers, reference counting, the module lock it holds, and aggregation.
#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

#include "enumerator/search_data_enumerator.h"
#include "index/id_container.h"
#include "com/module_lock.h"
#include "tests/support/com_ptr.h"

namespace qoinfo {
namespace {

using testing::ComPtr;

std::int32_t Locks() { return ProcessModuleLock().Count(); }

struct InterfaceRow {
  const char* name;
  IID iid;
};

void PrintTo(const InterfaceRow& row, std::ostream* out) { *out << row.name; }

// Exactly these four are answered.
const InterfaceRow kAnswered[] = {
    {"IUnknown", IID_IUnknown},
    {"ISearchDataEnumerator", IID_ISearchDataEnumerator},
    {"IDispatch", IID_IDispatch},
    {"IProvideClassInfo", IID_IProvideClassInfo},
};

// A sample of what is not: neighbours a client or the system may ask for.
const InterfaceRow kRefused[] = {
    {"IProvideClassInfo2",
     {0xA6BC3AC0,
      0xDBAA,
      0x11CE,
      {0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}}},
    {"IMarshal",
     {0x00000003,
      0x0000,
      0x0000,
      {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}}},
    {"IClassFactory",
     {0x00000001,
      0x0000,
      0x0000,
      {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}}},
    {"IDispatchEx",
     {0xA6EF9860,
      0xC720,
      0x11D0,
      {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}}},
    {"IConnectionPointContainer",
     {0xB196B284,
      0xBAB4,
      0x101A,
      {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}}},
    {"ISupportErrorInfo",
     {0xDF0B3D60,
      0x548F,
      0x101B,
      {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}}},
    {"IZuInfoAgent", IID_IZuInfoAgent},
    {"IBromURLBaseEvents", IID_IBromURLBaseEvents},
    {"the class identifier", CLSID_CSearchDataEnumerator},
    {"the null GUID", {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}}},
};

class Answered : public ::testing::TestWithParam<InterfaceRow> {};

TEST_P(Answered, GivesAnInterfaceWithOneMoreReference) {
  ComPtr<ISearchDataEnumerator> enumerator;
  ASSERT_EQ(CSearchDataEnumerator::CreateInstance(
                nullptr, IID_ISearchDataEnumerator, enumerator.out_void()),
            S_OK);
  void* object = nullptr;
  ASSERT_EQ(enumerator->QueryInterface(GetParam().iid, &object), S_OK);
  ASSERT_NE(object, nullptr);
  auto* unknown = static_cast<IUnknown*>(object);
  // Creation's reference, the query's, and this AddRef.
  EXPECT_EQ(unknown->AddRef(), 3u);
  EXPECT_EQ(unknown->Release(), 2u);
  EXPECT_EQ(unknown->Release(), 1u);
  // Every interface leads back to the same identity.
  ComPtr<IUnknown> identity, identity_again;
  ASSERT_EQ(unknown->QueryInterface(IID_IUnknown, identity.out_void()), S_OK);
  ASSERT_EQ(enumerator->QueryInterface(IID_IUnknown, identity_again.out_void()),
            S_OK);
  EXPECT_EQ(identity.get(), identity_again.get());
}

INSTANTIATE_TEST_SUITE_P(Interfaces, Answered, ::testing::ValuesIn(kAnswered),
                         [](const ::testing::TestParamInfo<InterfaceRow>& i) {
                           return std::string(i.param.name);
                         });

class Refused : public ::testing::TestWithParam<InterfaceRow> {};

TEST_P(Refused, GivesNoInterfaceAndANullPointer) {
  ComPtr<ISearchDataEnumerator> enumerator;
  ASSERT_EQ(CSearchDataEnumerator::CreateInstance(
                nullptr, IID_ISearchDataEnumerator, enumerator.out_void()),
            S_OK);
  void* object = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(enumerator->QueryInterface(GetParam().iid, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  // Asking for an unknown interface at creation destroys the new object.
  const std::int32_t before = Locks();
  object = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(
      CSearchDataEnumerator::CreateInstance(nullptr, GetParam().iid, &object),
      E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(Locks(), before);
}

INSTANTIATE_TEST_SUITE_P(Interfaces, Refused, ::testing::ValuesIn(kRefused),
                         [](const ::testing::TestParamInfo<InterfaceRow>& i) {
                           std::string name;
                           for (const char* c = i.param.name; *c; ++c) {
                             if (std::isalnum(static_cast<unsigned char>(*c))) {
                               name += *c;
                             }
                           }
                           return name;
                         });

TEST(EnumeratorObject, DualInterfaceAndDispatchAreOnePointer) {
  ComPtr<ISearchDataEnumerator> enumerator;
  ASSERT_EQ(CSearchDataEnumerator::CreateInstance(
                nullptr, IID_ISearchDataEnumerator, enumerator.out_void()),
            S_OK);
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(enumerator->QueryInterface(IID_IDispatch, dispatch.out_void()),
            S_OK);
  EXPECT_EQ(static_cast<IDispatch*>(enumerator.get()), dispatch.get());
}

TEST(EnumeratorObject, QueryInterfaceRefusesANullPointer) {
  ComPtr<ISearchDataEnumerator> enumerator;
  ASSERT_EQ(CSearchDataEnumerator::CreateInstance(
                nullptr, IID_ISearchDataEnumerator, enumerator.out_void()),
            S_OK);
  EXPECT_EQ(enumerator->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST(EnumeratorObject, CreationRefusesANullPointer) {
  EXPECT_EQ(CSearchDataEnumerator::CreateInstance(
                nullptr, IID_ISearchDataEnumerator, nullptr),
            E_POINTER);
  EXPECT_EQ(CSearchDataEnumerator::Create(nullptr), E_POINTER);
}

TEST(EnumeratorObject, CreateGivesOneReferenceAndLastReleaseDestroys) {
  const std::int32_t before = Locks();
  CSearchDataEnumerator* enumerator = nullptr;
  ASSERT_EQ(CSearchDataEnumerator::Create(&enumerator), S_OK);
  ASSERT_NE(enumerator, nullptr);
  EXPECT_EQ(Locks(), before + 1);
  EXPECT_EQ(enumerator->AddRef(), 2u);
  EXPECT_EQ(enumerator->Release(), 1u);
  EXPECT_EQ(Locks(), before + 1);
  EXPECT_EQ(enumerator->Release(), 0u);
  EXPECT_EQ(Locks(), before);
}

TEST(EnumeratorObject, EachLiveEnumeratorHoldsOneModuleLock) {
  const std::int32_t before = Locks();
  {
    ComPtr<CSearchDataEnumerator> first, second;
    ASSERT_EQ(CSearchDataEnumerator::Create(first.out()), S_OK);
    EXPECT_EQ(Locks(), before + 1);
    ASSERT_EQ(CSearchDataEnumerator::Create(second.out()), S_OK);
    EXPECT_EQ(Locks(), before + 2);
    // References are not locks.
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(first->QueryInterface(IID_IDispatch, dispatch.out_void()), S_OK);
    EXPECT_EQ(Locks(), before + 2);
    first.Reset();
    EXPECT_EQ(Locks(), before + 2);  // `dispatch` still holds the first
    dispatch.Reset();
    EXPECT_EQ(Locks(), before + 1);
  }
  EXPECT_EQ(Locks(), before);
}

// An object that aggregates an enumerator: it answers IUnknown itself and
// hands the enumerator's interfaces out, and counts the calls that reach it.
class TestOuter final : public IUnknown {
 public:
  HRESULT Aggregate() {
    return CSearchDataEnumerator::CreateInstance(
        this, IID_IUnknown, reinterpret_cast<void**>(&inner_));
  }
  // Drops the inner object, as an outer object does when it is destroyed.
  void DropInner() {
    if (inner_ != nullptr) inner_->Release();
    inner_ = nullptr;
  }
  IUnknown* inner() const { return inner_; }
  ULONG references() const { return references_; }
  int queries() const { return queries_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid,
                                           void** object) override {
    ++queries_;
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualGUID(riid, IID_IUnknown)) {
      *object = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return inner_->QueryInterface(riid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }

 private:
  IUnknown* inner_ = nullptr;
  ULONG references_ = 1;
  int queries_ = 0;
};

TEST(EnumeratorAggregation, OuterMustAskForIUnknown) {
  const std::int32_t before = Locks();
  TestOuter outer;
  void* object = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(CSearchDataEnumerator::CreateInstance(
                &outer, IID_ISearchDataEnumerator, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(Locks(), before);
  EXPECT_EQ(outer.references(), 1u);
}

TEST(EnumeratorAggregation, InnerObjectHoldsALockUntilTheOuterDropsIt) {
  const std::int32_t before = Locks();
  TestOuter outer;
  ASSERT_EQ(outer.Aggregate(), S_OK);
  ASSERT_NE(outer.inner(), nullptr);
  EXPECT_EQ(Locks(), before + 1);
  // Creating the inner object took no reference on the outer one.
  EXPECT_EQ(outer.references(), 1u);
  outer.DropInner();
  EXPECT_EQ(Locks(), before);
}

TEST(EnumeratorAggregation, InterfacesPassIUnknownCallsToTheOuterObject) {
  TestOuter outer;
  ASSERT_EQ(outer.Aggregate(), S_OK);
  ISearchDataEnumerator* enumerator = nullptr;
  ASSERT_EQ(outer.QueryInterface(IID_ISearchDataEnumerator,
                                 reinterpret_cast<void**>(&enumerator)),
            S_OK);
  // The interface's reference went to the outer object.
  EXPECT_EQ(outer.references(), 2u);
  EXPECT_EQ(enumerator->AddRef(), 3u);
  EXPECT_EQ(outer.references(), 3u);
  EXPECT_EQ(enumerator->Release(), 2u);

  // Queries through the inner object's interfaces reach the outer one, and
  // IUnknown there is the outer object's identity.
  const int queries = outer.queries();
  IUnknown* identity = nullptr;
  ASSERT_EQ(enumerator->QueryInterface(IID_IUnknown,
                                       reinterpret_cast<void**>(&identity)),
            S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  EXPECT_EQ(outer.queries(), queries + 1);
  identity->Release();
  IProvideClassInfo* class_info = nullptr;
  ASSERT_EQ(enumerator->QueryInterface(IID_IProvideClassInfo,
                                       reinterpret_cast<void**>(&class_info)),
            S_OK);
  EXPECT_EQ(outer.queries(), queries + 2);
  class_info->Release();

  // The inner object's own IUnknown answers for itself.
  IUnknown* inner_identity = nullptr;
  ASSERT_EQ(outer.inner()->QueryInterface(
                IID_IUnknown, reinterpret_cast<void**>(&inner_identity)),
            S_OK);
  EXPECT_EQ(inner_identity, outer.inner());
  EXPECT_EQ(outer.queries(), queries + 2);
  inner_identity->Release();

  enumerator->Release();
  EXPECT_EQ(outer.references(), 1u);
  outer.DropInner();
}

TEST(EnumeratorAggregation, GetThisGivesTheInnerObjectsAddress) {
  TestOuter outer;
  ASSERT_EQ(outer.Aggregate(), S_OK);
  ISearchDataEnumerator* enumerator = nullptr;
  ASSERT_EQ(
      outer.inner()->QueryInterface(IID_ISearchDataEnumerator,
                                    reinterpret_cast<void**>(&enumerator)),
      S_OK);
  std::int64_t address = 0;
  ASSERT_EQ(enumerator->GetThis(&address), S_OK);
  EXPECT_EQ(address, static_cast<std::int64_t>(
                         reinterpret_cast<std::intptr_t>(enumerator)));
  EXPECT_NE(address,
            static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(&outer)));
  // The aggregated object works like a standalone one.
  auto* inner = reinterpret_cast<CSearchDataEnumerator*>(
      static_cast<std::intptr_t>(address));
  CIDContainer records;
  records.InsertLoaded(1, CTimeURLContainer(5, u"u", u"p", u"t"));
  inner->Fill({{7, 0, 1}}, records.Snapshot());
  _URL_DATE_IA_S data{};
  ASSERT_EQ(enumerator->Next(&data), S_OK);
  EXPECT_EQ(data.Time, 5);
  EXPECT_EQ(data.Percent, 7);
  for (BSTR text : {data.Url, data.Path, data.Title}) SysFreeString(text);
  enumerator->Release();
  outer.DropInner();
}

}  // namespace
}  // namespace qoinfo
