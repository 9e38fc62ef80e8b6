// IBromURLBase's table: the agent calls GetData at slot 7 and
// GetDataDirectory at slot 10, the way a client compiled elsewhere does,
// through the bare table. These tests call every slot that way.
#include <gtest/gtest.h>

#include <string>

#include "tests/urlbase/url_base_test_support.h"

namespace qoinfo {
namespace {

using testing::ComPtr;
using testing::Units;
using testing::UrlBaseTest;

// The function at `slot` of the object's table, called as a C client does:
// the interface pointer first.
template <typename Function>
Function Slot(IUnknown* object, int slot) {
  void** table = *reinterpret_cast<void***>(object);
  return reinterpret_cast<Function>(table[slot]);
}

using GetDataFn = HRESULT(STDMETHODCALLTYPE*)(IBromURLBase*, _URL_DATE_IA_S*,
                                              ULONG);
using GetDataDirectoryFn = HRESULT(STDMETHODCALLTYPE*)(IBromURLBase*, BSTR*);

TEST_F(UrlBaseTest, Slot7IsGetData) {
  ULONG index = 0;
  ASSERT_EQ(
      testing::Add(base_.get(), 77, u"http://seven/", u"/p", u"T", &index),
      S_OK);
  _URL_DATE_IA_S data{};
  ASSERT_EQ(Slot<GetDataFn>(base_.get(), 7)(base_.get(), &data, index), S_OK);
  EXPECT_EQ(data.Time, 77);
  EXPECT_EQ(Units(data.Url), u"http://seven/");
  EXPECT_EQ(Units(data.Path), u"/p");
  EXPECT_EQ(Units(data.Title), u"T");
  SysFreeString(data.Url);
  SysFreeString(data.Path);
  SysFreeString(data.Title);
}

TEST_F(UrlBaseTest, Slot10IsGetDataDirectory) {
  BSTR directory = nullptr;
  ASSERT_EQ(Slot<GetDataDirectoryFn>(base_.get(), 10)(base_.get(), &directory),
            S_OK);
  platform::UniqueBstr owned(directory);
  EXPECT_EQ(Units(directory), dir_.u16());
}

// A recorder of which method a slot reaches.
class SlotRecorder final : public IBromURLBase {
 public:
  std::string called;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override {
    return Record("QueryInterface");
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Record("AddRef"); }
  ULONG STDMETHODCALLTYPE Release() override { return Record("Release"); }
  HRESULT STDMETHODCALLTYPE AddVisit(std::int64_t, BSTR, BSTR, BSTR,
                                     ULONG*) override {
    return Record("AddVisit");
  }
  HRESULT STDMETHODCALLTYPE RemoveVisit(ULONG) override {
    return Record("RemoveVisit");
  }
  HRESULT STDMETHODCALLTYPE Count(ULONG*) override { return Record("Count"); }
  HRESULT STDMETHODCALLTYPE FindVisit(std::int64_t, BSTR, ULONG*) override {
    return Record("FindVisit");
  }
  HRESULT STDMETHODCALLTYPE GetData(_URL_DATE_IA_S*, ULONG) override {
    return Record("GetData");
  }
  HRESULT STDMETHODCALLTYPE NextVisit(ULONG, ULONG*) override {
    return Record("NextVisit");
  }
  HRESULT STDMETHODCALLTYPE RemoveAll() override { return Record("RemoveAll"); }
  HRESULT STDMETHODCALLTYPE GetDataDirectory(BSTR*) override {
    return Record("GetDataDirectory");
  }

 private:
  HRESULT Record(const char* name) {
    called = name;
    return S_OK;
  }
};

// Calls `slot` of `object` with the argument types of `method`, all zero.
template <typename... Args>
void CallSlot(IBromURLBase* object, int slot) {
  using Function = HRESULT(STDMETHODCALLTYPE*)(IBromURLBase*, Args...);
  Slot<Function>(object, slot)(object, Args{}...);
}

struct SlotRow {
  int slot;
  const char* method;
  void (*call)(IBromURLBase* object, int slot);
};

const SlotRow kSlots[] = {
    {0, "QueryInterface", CallSlot<const IID*, void**>},
    {1, "AddRef", CallSlot<>},
    {2, "Release", CallSlot<>},
    {3, "AddVisit", CallSlot<std::int64_t, BSTR, BSTR, BSTR, ULONG*>},
    {4, "RemoveVisit", CallSlot<ULONG>},
    {5, "Count", CallSlot<ULONG*>},
    {6, "FindVisit", CallSlot<std::int64_t, BSTR, ULONG*>},
    {7, "GetData", CallSlot<_URL_DATE_IA_S*, ULONG>},
    {8, "NextVisit", CallSlot<ULONG, ULONG*>},
    {9, "RemoveAll", CallSlot<>},
    {10, "GetDataDirectory", CallSlot<BSTR*>},
};

TEST(InterfaceSlots, EachSlotReachesItsMethod) {
  for (const SlotRow& row : kSlots) {
    SlotRecorder recorder;
    row.call(&recorder, row.slot);
    EXPECT_EQ(recorder.called, row.method) << "slot " << row.slot;
  }
}

}  // namespace
}  // namespace qoinfo
