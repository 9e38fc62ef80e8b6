// IBromURLBase: the history of visited pages that the agent listens to.
// Each stored visit (time, URL, path, title) has an index, a 32-bit number
// from 1 upward that stays with the visit until it is removed and is never
// given to another visit; 0 is never an index. A visit is identified by its
// time and URL: adding an equal one again changes nothing.
//
// The object is also a connection-point container with one point, for
// IBromURLBaseEvents: OnDataAdded after a visit was stored, and
// OnDataBeforeRemove while a visit that is about to go can still be read.
// Its events interface is declared with the type library in
// com/interfaces.h.
//
// The agent calls slots 7 (GetData) and 10 (GetDataDirectory) only; the
// other slots are this history's own. Strings are BSTRs with their full
// length (embedded NULs included); a null BSTR is the empty string.
#pragma once

#include <cstdint>

#include "com/interfaces.h"
#include "platform/com_base.h"
#include "platform/wide_string.h"

namespace qoinfo {

inline constexpr CLSID CLSID_BromURLBase = {
    0x9F1366DD,
    0xE157,
    0x4962,
    {0x84, 0xF5, 0x57, 0x06, 0x6B, 0xB8, 0x50, 0x6A}};
inline constexpr IID IID_IBromURLBase = {
    0xEC59A1BD,
    0xC8CF,
    0x4F75,
    {0xB2, 0x45, 0xE0, 0xD0, 0x55, 0xA9, 0x4C, 0x66}};

// No visit has that index (HRESULT_FROM_WIN32(ERROR_NOT_FOUND)).
inline constexpr HRESULT URLBASE_E_NOVISIT = static_cast<HRESULT>(0x80070490u);
// Every 32-bit index has been issued; nothing more can be stored
// (HRESULT_FROM_WIN32(ERROR_ARITHMETIC_OVERFLOW)).
inline constexpr HRESULT URLBASE_E_INDEXESEXHAUSTED =
    static_cast<HRESULT>(0x80070216u);
// The history file is not a database of ours or is damaged
// (HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT)).
inline constexpr HRESULT URLBASE_E_CORRUPT = static_cast<HRESULT>(0x80070570u);
// Another process holds the history locked for longer than we wait
// (HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION)).
inline constexpr HRESULT URLBASE_E_LOCKED = static_cast<HRESULT>(0x80070021u);

}  // namespace qoinfo

struct IBromURLBase : IUnknown {
  // 3. Stores a visit and fires OnDataAdded with its new index. S_FALSE with
  // the index of the stored visit when one with the same time and URL
  // exists (nothing changes, nothing is fired). E_INVALIDARG for an empty
  // URL, E_POINTER for a null index.
  virtual HRESULT STDMETHODCALLTYPE AddVisit(std::int64_t time, BSTR url,
                                             BSTR path, BSTR title,
                                             ULONG* index) = 0;
  // 4. Fires OnDataBeforeRemove(index) at every sink, waiting for each, and
  // then removes the visit, whatever the sinks answered. URLBASE_E_NOVISIT
  // for an unknown index; S_FALSE when a sink asks to remove the same visit
  // again while it is being removed.
  virtual HRESULT STDMETHODCALLTYPE RemoveVisit(ULONG index) = 0;
  // 5. The number of stored visits.
  virtual HRESULT STDMETHODCALLTYPE Count(ULONG* count) = 0;
  // 6. The index of the visit with this time and URL; S_FALSE and 0 when
  // there is none.
  virtual HRESULT STDMETHODCALLTYPE FindVisit(std::int64_t time, BSTR url,
                                              ULONG* index) = 0;
  // 7. The visit at `index`: Time and three new, non-null BSTRs (Url, Path,
  // Title) that the caller frees. What *data held is neither read nor
  // freed, and Percent is not written. URLBASE_E_NOVISIT for an unknown
  // index; on any failure *data is untouched.
  virtual HRESULT STDMETHODCALLTYPE GetData(_URL_DATE_IA_S* data,
                                            ULONG index) = 0;
  // 8. The lowest index above `after` (0: the first visit), for walking the
  // history in index order; S_FALSE and 0 after the last one.
  virtual HRESULT STDMETHODCALLTYPE NextVisit(ULONG after, ULONG* index) = 0;
  // 9. Removes every visit stored when the call begins, each as RemoveVisit
  // does, in index order.
  virtual HRESULT STDMETHODCALLTYPE RemoveAll() = 0;
  // 10. A new BSTR naming the data directory, without a trailing separator;
  // the folder is created when it is missing.
  virtual HRESULT STDMETHODCALLTYPE GetDataDirectory(BSTR* directory) = 0;

 protected:
  ~IBromURLBase() = default;
};

namespace qoinfo {

// The data directory `base` names now (its result code is not examined:
// a null string is the answer that counts); empty when it names none.
inline std::u16string DataDirectoryOf(IBromURLBase* base) {
  BSTR directory = nullptr;
  base->GetDataDirectory(&directory);
  const platform::UniqueBstr owned(directory);
  return platform::FromOleString(directory);
}

}  // namespace qoinfo
