// The history as a connection-point container: its one point, for
// IBromURLBaseEvents, and the rules of Advise and Unadvise.
#include <gtest/gtest.h>

#include <set>

#include "tests/urlbase/url_base_test_support.h"

namespace qoinfo {
namespace {

using testing::ComPtr;
using testing::RecordingSink;
using testing::UrlBaseTest;

class ConnectionPointTest : public UrlBaseTest {
 protected:
  void SetUp() override {
    UrlBaseTest::SetUp();
    ASSERT_EQ(base_->QueryInterface(IID_IConnectionPointContainer,
                                    container_.out_void()),
              S_OK);
    ASSERT_EQ(
        container_->FindConnectionPoint(IID_IBromURLBaseEvents, point_.out()),
        S_OK);
  }

  ComPtr<IConnectionPointContainer> container_;
  ComPtr<IConnectionPoint> point_;
};

// An object that is no IBromURLBaseEvents sink.
class NotASink final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid,
                                           void** object) override {
    *object = nullptr;
    if (!IsEqualGUID(riid, IID_IUnknown)) return E_NOINTERFACE;
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  ULONG references = 1;
};

TEST_F(ConnectionPointTest, ThereIsOnePointOnlyForTheEvents) {
  const IID others[] = {IID_IUnknown, IID_IDispatch, IID_IBromURLBase,
                        IID_IConnectionPoint};
  for (const IID& iid : others) {
    IConnectionPoint* point = point_.get();
    EXPECT_EQ(container_->FindConnectionPoint(iid, &point),
              CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point, nullptr);
  }
  EXPECT_EQ(container_->FindConnectionPoint(IID_IBromURLBaseEvents, nullptr),
            E_POINTER);
  // Asked twice, the same point.
  ComPtr<IConnectionPoint> again;
  ASSERT_EQ(
      container_->FindConnectionPoint(IID_IBromURLBaseEvents, again.out()),
      S_OK);
  EXPECT_EQ(again.get(), point_.get());
}

TEST_F(ConnectionPointTest, ThePointNamesItsInterfaceAndItsContainer) {
  IID iid = IID_IUnknown;
  ASSERT_EQ(point_->GetConnectionInterface(&iid), S_OK);
  EXPECT_TRUE(IsEqualGUID(iid, IID_IBromURLBaseEvents));
  EXPECT_EQ(point_->GetConnectionInterface(nullptr), E_POINTER);

  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(point_->GetConnectionPointContainer(container.out()), S_OK);
  ComPtr<IUnknown> a, b;
  ASSERT_EQ(container->QueryInterface(IID_IUnknown, a.out_void()), S_OK);
  ASSERT_EQ(base_->QueryInterface(IID_IUnknown, b.out_void()), S_OK);
  EXPECT_EQ(a.get(), b.get());
  EXPECT_EQ(point_->GetConnectionPointContainer(nullptr), E_POINTER);
}

TEST_F(ConnectionPointTest, ThePointIsItsOwnIdentityAndKeepsTheHistoryAlive) {
  ComPtr<IUnknown> point_identity, base_identity;
  ASSERT_EQ(point_->QueryInterface(IID_IUnknown, point_identity.out_void()),
            S_OK);
  ASSERT_EQ(base_->QueryInterface(IID_IUnknown, base_identity.out_void()),
            S_OK);
  EXPECT_NE(point_identity.get(), base_identity.get());
  void* object = &object;
  EXPECT_EQ(point_->QueryInterface(IID_IBromURLBase, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);

  // With every other reference gone, the point still works.
  point_identity.Reset();
  base_identity.Reset();
  container_.Reset();
  base_.Reset();
  ComPtr<RecordingSink> sink(RecordingSink::Create());
  DWORD cookie = 0;
  EXPECT_EQ(point_->Advise(sink.get(), &cookie), S_OK);
  EXPECT_EQ(point_->Unadvise(cookie), S_OK);
}

TEST_F(ConnectionPointTest, CookiesAreDistinctAndNeverZero) {
  std::vector<ComPtr<RecordingSink>> sinks;
  std::set<DWORD> cookies;
  for (int i = 0; i < 5; ++i) {
    sinks.emplace_back(RecordingSink::Create());
    DWORD cookie = 0;
    ASSERT_EQ(point_->Advise(sinks.back().get(), &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    cookies.insert(cookie);
    EXPECT_EQ(sinks.back()->references(), 2u);
  }
  EXPECT_EQ(cookies.size(), 5u);
  for (const DWORD cookie : cookies) EXPECT_EQ(point_->Unadvise(cookie), S_OK);
  for (const auto& sink : sinks) EXPECT_EQ(sink->references(), 1u);
}

TEST_F(ConnectionPointTest, TheSameSinkMayBeAdvisedTwice) {
  ComPtr<RecordingSink> sink(RecordingSink::Create());
  DWORD first = 0, second = 0;
  ASSERT_EQ(point_->Advise(sink.get(), &first), S_OK);
  ASSERT_EQ(point_->Advise(sink.get(), &second), S_OK);
  EXPECT_NE(first, second);
  ULONG index = 0;
  ASSERT_EQ(testing::Add(base_.get(), 1, u"http://a/", u"", u"", &index), S_OK);
  EXPECT_EQ(sink->events, (std::vector<std::string>{"added:1", "added:1"}));
}

TEST_F(ConnectionPointTest, AdviseRefusesBadSinks) {
  DWORD cookie = 7;
  EXPECT_EQ(point_->Advise(nullptr, &cookie), E_POINTER);
  EXPECT_EQ(cookie, 0u);
  ComPtr<RecordingSink> sink(RecordingSink::Create());
  EXPECT_EQ(point_->Advise(sink.get(), nullptr), E_POINTER);
  EXPECT_EQ(sink->references(), 1u);
  NotASink stranger;
  cookie = 7;
  EXPECT_EQ(point_->Advise(&stranger, &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(stranger.references, 1u);
}

TEST_F(ConnectionPointTest, UnadviseOfAnUnknownCookieIsNoConnection) {
  EXPECT_EQ(point_->Unadvise(0), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point_->Unadvise(12345), CONNECT_E_NOCONNECTION);
  ComPtr<RecordingSink> sink(RecordingSink::Create());
  DWORD cookie = 0;
  ASSERT_EQ(point_->Advise(sink.get(), &cookie), S_OK);
  EXPECT_EQ(point_->Unadvise(cookie), S_OK);
  EXPECT_EQ(point_->Unadvise(cookie), CONNECT_E_NOCONNECTION);
}

TEST_F(ConnectionPointTest, NothingIsEnumerated) {
  IEnumConnections* connections = reinterpret_cast<IEnumConnections*>(this);
  EXPECT_EQ(point_->EnumConnections(&connections), E_NOTIMPL);
  EXPECT_EQ(connections, nullptr);
  EXPECT_EQ(point_->EnumConnections(nullptr), E_POINTER);
  IEnumConnectionPoints* points =
      reinterpret_cast<IEnumConnectionPoints*>(this);
  EXPECT_EQ(container_->EnumConnectionPoints(&points), E_NOTIMPL);
  EXPECT_EQ(points, nullptr);
  EXPECT_EQ(container_->EnumConnectionPoints(nullptr), E_POINTER);
}

// The values Windows gives these names; the declarations elsewhere must
// match them.
TEST(ConnectionPointDeclarations, IdentifiersAndCodesAreWindows) {
  const IID container = {0xB196B284,
                         0xBAB4,
                         0x101A,
                         {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
  const IID point = {0xB196B286,
                     0xBAB4,
                     0x101A,
                     {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
  EXPECT_TRUE(IsEqualGUID(IID_IConnectionPointContainer, container));
  EXPECT_TRUE(IsEqualGUID(IID_IConnectionPoint, point));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, static_cast<HRESULT>(0x80040200u));
  EXPECT_EQ(CONNECT_E_CANNOTCONNECT, static_cast<HRESULT>(0x80040202u));
}

template <typename Function>
Function Slot(IUnknown* object, int slot) {
  void** table = *reinterpret_cast<void***>(object);
  return reinterpret_cast<Function>(table[slot]);
}

// Called through the bare tables, as a client compiled against the
// system's declarations calls them.
TEST_F(ConnectionPointTest, SlotsAreInTheSystemsOrder) {
  IConnectionPointContainer* container = container_.get();
  IEnumConnectionPoints* points = nullptr;
  EXPECT_EQ((Slot<HRESULT(STDMETHODCALLTYPE*)(IConnectionPointContainer*,
                                              IEnumConnectionPoints**)>(
                container, 3)(container, &points)),
            E_NOTIMPL);
  IConnectionPoint* found = nullptr;
  ASSERT_EQ((Slot<HRESULT(STDMETHODCALLTYPE*)(IConnectionPointContainer*,
                                              const IID*, IConnectionPoint**)>(
                container, 4)(container, &IID_IBromURLBaseEvents, &found)),
            S_OK);
  ComPtr<IConnectionPoint> point(found);

  IConnectionPoint* p = point.get();
  IID iid = IID_IUnknown;
  EXPECT_EQ((Slot<HRESULT(STDMETHODCALLTYPE*)(IConnectionPoint*, IID*)>(p, 3)(
                p, &iid)),
            S_OK);
  EXPECT_TRUE(IsEqualGUID(iid, IID_IBromURLBaseEvents));
  IConnectionPointContainer* back = nullptr;
  EXPECT_EQ(
      (Slot<HRESULT(STDMETHODCALLTYPE*)(
           IConnectionPoint*, IConnectionPointContainer**)>(p, 4)(p, &back)),
      S_OK);
  ComPtr<IConnectionPointContainer> owned_back(back);
  EXPECT_EQ(back, container);
  ComPtr<RecordingSink> sink(RecordingSink::Create());
  DWORD cookie = 0;
  EXPECT_EQ(
      (Slot<HRESULT(STDMETHODCALLTYPE*)(IConnectionPoint*, IUnknown*, DWORD*)>(
          p, 5)(p, sink.get(), &cookie)),
      S_OK);
  EXPECT_EQ(sink->references(), 2u);
  EXPECT_EQ((Slot<HRESULT(STDMETHODCALLTYPE*)(IConnectionPoint*, DWORD)>(p, 6)(
                p, cookie)),
            S_OK);
  EXPECT_EQ(sink->references(), 1u);
  IEnumConnections* connections = nullptr;
  EXPECT_EQ(
      (Slot<HRESULT(STDMETHODCALLTYPE*)(IConnectionPoint*, IEnumConnections**)>(
          p, 7)(p, &connections)),
      E_NOTIMPL);
}

}  // namespace
}  // namespace qoinfo
