// IFind: the agent's own interface for people's searches, beside the
// published ones. It has its own IID and lives in a type library of its own
// (QoInfoFind.tlb, registered next to QoInfoAgent.tlb), never in the
// published library, whose interfaces and vtables stay as they are.
//   Find     the search of agent/find.h (prefix, quoted phrases); the hits
//            come as an ISearchDataEnumerator (ask the result for it).
//   Snippet  the passage of one hit's stored text with the query's words
//            marked (agent/snippet.h).
#pragma once

#include <cstdint>

#include "platform/com_base.h"

namespace qoinfo {

inline constexpr GUID LIBID_QoInfoFind = {
    0x6153A626, 0xFD95, 0x437F, {0xBD, 0x22, 0xAF, 0x07, 0xFB, 0xE0, 0xFD, 0xA6}};
inline constexpr IID IID_IFind = {
    0x19BCD4C0, 0xF005, 0x4FF0, {0xB3, 0xDB, 0x83, 0xA4, 0x2E, 0xBC, 0x47, 0x69}};

// Bits of `options`: the query's last word may be the beginning of a word.
// Any other bit is refused with E_INVALIDARG.
inline constexpr ULONG kFindPrefix = 1;
inline constexpr ULONG kFindKnownOptions = kFindPrefix;
// Bits of Snippet's `flags`: the page's text goes on before / after it.
inline constexpr ULONG kSnippetCutBefore = 1;
inline constexpr ULONG kSnippetCutAfter = 2;

}  // namespace qoinfo

// Slots 3-4 after IUnknown.
struct IFind : IUnknown {
  // E_INVALIDARG for an empty query or unknown options; otherwise S_OK and
  // an enumerator of the hits in *result, also when none matched.
  virtual HRESULT STDMETHODCALLTYPE Find(BSTR query, ULONG options,
                                         IUnknown** result) = 0;
  // The snippet of the page with this time and URL: S_OK with the passage
  // in *text, its marked words in *marks (pairs of 32-bit begin and length
  // in UTF-16 units of *text, each as two UTF-16 units, low half first)
  // and kSnippet* bits in *flags; S_FALSE with empty strings when no text
  // is kept for the page.
  virtual HRESULT STDMETHODCALLTYPE Snippet(BSTR query, ULONG options,
                                            std::int64_t time, BSTR url,
                                            BSTR* text, BSTR* marks,
                                            ULONG* flags) = 0;

 protected:
  ~IFind() = default;
};
