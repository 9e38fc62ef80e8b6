// IBromPageTexts: our history's second interface, beside IBromURLBase (whose
// slots stay as they are): the texts the pages of its visits were filed
// with, kept compressed next to each visit for snippets and phrases. A
// visit is named by its time and URL, as the index names its page. The
// text goes with its visit: removing the visit erases it from the files.
// Whether texts are kept is the history's setting, on until turned off;
// turning it off erases every kept text.
//
// A history without this interface keeps no texts: callers that cannot
// get it (QueryInterface) store nothing and read none.
#pragma once

#include <cstdint>

#include "platform/com_base.h"

namespace qoinfo {

inline constexpr IID IID_IBromPageTexts = {
    0x5224C316,
    0xE33F,
    0x4E2E,
    {0xAF, 0xA9, 0xE4, 0x8B, 0x06, 0x5B, 0xDC, 0x4B}};

}  // namespace qoinfo

struct IBromPageTexts : IUnknown {
  // 3. Keeps `text` for the visit with this time and URL (replacing what
  // was kept): S_OK; S_FALSE when there is no such visit or texts are not
  // kept. E_INVALIDARG for an empty URL.
  virtual HRESULT STDMETHODCALLTYPE StoreText(std::int64_t time, BSTR url,
                                              BSTR text) = 0;
  // 4. A new BSTR with the text kept for the visit with this time and URL:
  // S_OK; S_FALSE and null when none is kept. E_POINTER for a null *text.
  virtual HRESULT STDMETHODCALLTYPE GetText(std::int64_t time, BSTR url,
                                            BSTR* text) = 0;
  // 5. Turns keeping texts on (nonzero) or off (0); off erases every kept
  // text from the history's files.
  virtual HRESULT STDMETHODCALLTYPE SetKeepTexts(LONG keep) = 0;
  // 6. Whether texts are kept (1 or 0), how many are, and their compressed
  // bytes. Any out pointer may not be null (E_POINTER).
  virtual HRESULT STDMETHODCALLTYPE GetTextTotals(LONG* keep, ULONG* count,
                                                  std::int64_t* bytes) = 0;

 protected:
  ~IBromPageTexts() = default;
};
