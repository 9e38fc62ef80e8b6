// C++ declarations of the type library in QoInfoAgent.idl: identifiers,
// the two records that cross the interfaces, and the three dual interfaces.
// One declaration serves every platform; the type-library tests check that
// record layouts, DISPIDs and vtable slots match the compiled library.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/com_base.h"

namespace qoinfo {

inline constexpr GUID LIBID_QoInfoAgent = {
    0x12F97166, 0xB0F9, 0x4C8D, {0xAD, 0xB1, 0x71, 0x42, 0x44, 0x47, 0x51, 0xC8}};
inline constexpr GUID APPID_QoInfoAgent = LIBID_QoInfoAgent;
inline constexpr CLSID CLSID_CSearchDataEnumerator = {
    0x4AC0CA7E, 0xE879, 0x4C24, {0xA4, 0xA4, 0xEE, 0x20, 0x22, 0x03, 0xF6, 0x11}};
inline constexpr IID IID_ISearchDataEnumerator = {
    0xB598A219, 0xAA96, 0x4F2D, {0x85, 0x90, 0x72, 0x3C, 0x86, 0xA9, 0xD4, 0x7F}};
inline constexpr CLSID CLSID_CZuInfoAgent = {
    0xE0496837, 0x6C93, 0x4C59, {0x8D, 0xE9, 0x50, 0xE5, 0x42, 0x95, 0xC2, 0x07}};
inline constexpr IID IID_IZuInfoAgent = {
    0xB1C581BF, 0x4E3C, 0x4BB0, {0xBC, 0x08, 0xEF, 0x28, 0x64, 0x14, 0x1A, 0x78}};
inline constexpr CLSID CLSID_Impl_BromHelper_IBromURLBaseEvents = {
    0xD16CFB29, 0xDA22, 0x37ED, {0xA4, 0x72, 0xB5, 0x71, 0xA9, 0x5E, 0x28, 0xA2}};
inline constexpr IID IID_IBromURLBaseEvents = {
    0x983DEA35, 0xCD63, 0x4CDF, {0xB9, 0x15, 0x05, 0xCE, 0xA1, 0x44, 0x58, 0xF4}};
inline constexpr GUID GUID_URL_DATE_IA_S = {
    0x0EB0B4EB, 0xF2F1, 0x4954, {0xBC, 0x12, 0xB0, 0xB6, 0xB0, 0x43, 0x41, 0x78}};
inline constexpr GUID GUID_URL_DATE_IA = {
    0x5F5F28A5, 0x8F77, 0x4F3C, {0xB5, 0x3E, 0x1B, 0x67, 0xBA, 0x9A, 0xD9, 0xDD}};

}  // namespace qoinfo

// One visited page as a client hands it to AddData. The caller owns the
// strings; any of them may be null.
struct _URL_DATE_IA {
  std::int64_t Time;
  BSTR Url;
  BSTR Text;
  BSTR Path;
  BSTR Title;
};

// One search hit as Next hands it out; the strings belong to the receiver.
struct _URL_DATE_IA_S {
  std::int64_t Time;
  BSTR Url;
  BSTR Path;
  BSTR Title;
  std::int32_t Percent;
};

// The layout the type library declares: Time at 0, then the pointer-sized
// fields back to back. With 32-bit pointers both records are 24 bytes.
static_assert(alignof(_URL_DATE_IA) == 8 && alignof(_URL_DATE_IA_S) == 8);
static_assert(offsetof(_URL_DATE_IA, Time) == 0);
static_assert(offsetof(_URL_DATE_IA, Url) == 8);
static_assert(offsetof(_URL_DATE_IA, Text) == 8 + sizeof(BSTR));
static_assert(offsetof(_URL_DATE_IA, Path) == 8 + 2 * sizeof(BSTR));
static_assert(offsetof(_URL_DATE_IA, Title) == 8 + 3 * sizeof(BSTR));
static_assert(sizeof(_URL_DATE_IA) == 8 + 4 * sizeof(BSTR));
static_assert(offsetof(_URL_DATE_IA_S, Time) == 0);
static_assert(offsetof(_URL_DATE_IA_S, Url) == 8);
static_assert(offsetof(_URL_DATE_IA_S, Path) == 8 + sizeof(BSTR));
static_assert(offsetof(_URL_DATE_IA_S, Title) == 8 + 2 * sizeof(BSTR));
static_assert(offsetof(_URL_DATE_IA_S, Percent) == 8 + 3 * sizeof(BSTR));
static_assert(sizeof(_URL_DATE_IA_S) == (sizeof(BSTR) == 4 ? 24 : 40));
static_assert(sizeof(BSTR) != 4 || sizeof(_URL_DATE_IA) == 24);

// The result enumerator of one search (slots 8-11 after IDispatch).
struct ISearchDataEnumerator : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Next(_URL_DATE_IA_S* data) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Count() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetThis(std::int64_t* _this) = 0;

 protected:
  ~ISearchDataEnumerator() = default;
};

// The shared search agent (slots 8-9 after IDispatch).
struct IZuInfoAgent : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE AddData(_URL_DATE_IA data) = 0;
  virtual HRESULT STDMETHODCALLTYPE Search(BSTR what,
                                           ISearchDataEnumerator** result) = 0;

 protected:
  ~IZuInfoAgent() = default;
};

// Events the URL base object fires at its subscribers (slots 8-10).
struct IBromURLBaseEvents : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE OnDataAdded(ULONG index) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnDataBeforeRemove(ULONG index) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnSettingsChanged() = 0;

 protected:
  ~IBromURLBaseEvents() = default;
};
