// Shared pieces of the agent tests: a URL base object registered under its
// class for the agent to find, alerts recorded instead of shown, and pages
// added and searched through the agent's interface.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "agent/zu_info_agent.h"
#include "agent/zu_info_agent_factory.h"
#include "host/class_factory.h"
#include "platform/alert.h"
#include "platform/class_objects.h"
#include "platform/wide_string.h"
#include "tests/support/com_ptr.h"
#include "tests/support/search_hits.h"
#include "urlbase/url_base.h"

namespace qoinfo::testing {

// COM prepared on the test's thread for the test's lifetime.
class ComApartment {
 public:
  ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT hr_;
};

// Makes `object` what creating the URL base class gives, for its lifetime;
// `during_creation`, when set, runs inside each creation first (a history
// server that is slow to start).
class URLBaseRegistration {
 public:
  explicit URLBaseRegistration(IUnknown* object,
                               std::function<void()> during_creation = {}) {
    ComPtr<CClassFactory> factory(CClassFactory::ForExistingObject(object));
    if (during_creation) {
      std::shared_ptr<CClassFactory> held(
          factory.release(), [](CClassFactory* inner) { inner->Release(); });
      factory = ComPtr<CClassFactory>(CClassFactory::New(
          [held, during_creation](IUnknown* outer, REFIID riid, void** out) {
            during_creation();
            return held->CreateInstance(outer, riid, out);
          }));
    }
    EXPECT_EQ(CoRegisterClassObject(CLSID_BromURLBase,
                                    static_cast<IClassFactory*>(factory.get()),
                                    CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                    &cookie_),
              S_OK);
  }
  ~URLBaseRegistration() { CoRevokeClassObject(cookie_); }
  URLBaseRegistration(const URLBaseRegistration&) = delete;
  URLBaseRegistration& operator=(const URLBaseRegistration&) = delete;

 private:
  DWORD cookie_ = 0;
};

// Collects what the agent would show the user, for the test's lifetime.
class AlertRecorder {
 public:
  AlertRecorder() {
    platform::SetAlertHandlerForTesting(
        [this](const std::u16string& text) { alerts.push_back(text); });
  }
  ~AlertRecorder() { platform::SetAlertHandlerForTesting(nullptr); }
  std::vector<std::u16string> alerts;
};

// The agent object behind an interface the factory handed out.
inline CZuInfoAgent* AgentObject(IZuInfoAgent* agent) {
  return static_cast<CZuInfoAgent*>(agent);
}

inline HRESULT AddPage(IZuInfoAgent* agent, std::int64_t time,
                       std::u16string_view url, std::u16string_view text,
                       std::u16string_view path = u"",
                       std::u16string_view title = u"") {
  platform::UniqueBstr u(platform::AllocBstr(url)), t(platform::AllocBstr(text)),
      p(platform::AllocBstr(path)), ti(platform::AllocBstr(title));
  return agent->AddData(_URL_DATE_IA{time, u.get(), t.get(), p.get(), ti.get()});
}

inline std::vector<Hit> SearchFor(IZuInfoAgent* agent, std::u16string_view query) {
  platform::UniqueBstr what(platform::AllocBstr(query));
  ComPtr<ISearchDataEnumerator> hits;
  EXPECT_EQ(agent->Search(what.get(), hits.out()), S_OK);
  return hits.get() != nullptr ? Drain(hits.get()) : std::vector<Hit>();
}

}  // namespace qoinfo::testing
