// A test-only, in-process IBromURLBaseEvents sink: records every event it
// receives, in order, and can run a test's handler on OnDataBeforeRemove
// (to read the departing visit back, answer a failure, or call into the URL
// base). Reference counted like a COM object; created with one reference.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "com/interfaces.h"
#include "platform/com_base.h"

namespace qoinfo::testing {

class RecordingSink final : public IBromURLBaseEvents {
 public:
  // "added:N", "removing:N", "settings".
  std::vector<std::string> events;
  // Called by OnDataBeforeRemove; its result is the answer. Unset: S_OK.
  std::function<HRESULT(ULONG index)> on_before_remove;

  static RecordingSink* Create() { return new RecordingSink(); }

  ULONG references() const { return m_refCount; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid,
                                           void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IDispatch) &&
        !IsEqualGUID(riid, IID_IBromURLBaseEvents)) {
      return E_NOINTERFACE;
    }
    *object = static_cast<IBromURLBaseEvents*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refCount; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = --m_refCount;
    if (count == 0) delete this;
    return count;
  }

  // The URL base calls the events through the table, never through Invoke.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID,
                                          DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*,
                                   VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE OnDataAdded(ULONG index) override {
    events.push_back("added:" + std::to_string(index));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDataBeforeRemove(ULONG index) override {
    events.push_back("removing:" + std::to_string(index));
    return on_before_remove ? on_before_remove(index) : S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnSettingsChanged() override {
    events.push_back("settings");
    return S_OK;
  }

 private:
  RecordingSink() = default;
  ~RecordingSink() = default;

  ULONG m_refCount = 1;
};

}  // namespace qoinfo::testing
