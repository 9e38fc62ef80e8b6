// The type library linked into this executable, checked the way clients see
// it: type descriptions and their order, identifiers, flags, help strings,
// DISPIDs, the records' fields, and the vtable slots, which must match the
// C++ declarations in interfaces.h.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "com/interfaces.h"
#include "platform/com_ptr.h"

namespace {

using platform::ComPtr;

std::wstring Bstr(BSTR s) {
  std::wstring out = s ? std::wstring(s, SysStringLen(s)) : std::wstring();
  SysFreeString(s);
  return out;
}

std::wstring ModulePath() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

class TypeLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, lib_.out()),
              S_OK);
  }

  std::wstring Name(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
    BSTR name = nullptr;
    EXPECT_EQ(info->GetDocumentation(id, &name, nullptr, nullptr, nullptr), S_OK);
    return Bstr(name);
  }
  std::wstring HelpString(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
    BSTR doc = nullptr;
    EXPECT_EQ(info->GetDocumentation(id, nullptr, &doc, nullptr, nullptr), S_OK);
    return Bstr(doc);
  }

  ComPtr<ITypeLib> lib_;
};

TEST_F(TypeLibrary, LibraryAttributes) {
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib_->GetLibAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, qoinfo::LIBID_QoInfoAgent));
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->lcid, 0x0409u);
  EXPECT_EQ(attr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  // LIBFLAG_FHASDISKIMAGE is set by the loader, not stored in the library.
  EXPECT_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
  lib_->ReleaseTLibAttr(attr);

  BSTR name = nullptr, doc = nullptr;
  ASSERT_EQ(lib_->GetDocumentation(-1, &name, &doc, nullptr, nullptr), S_OK);
  EXPECT_EQ(Bstr(name), L"QoInfoAgent");
  EXPECT_EQ(Bstr(doc), L"QoInfoAgent 1.0 Type Library");
}

struct TypeRow {
  TYPEKIND kind;
  const wchar_t* name;
  GUID guid;
  WORD flags;
  WORD major;
  const wchar_t* help;
};

// A dual interface: its dispatch description is dual and dispatchable, its
// vtable description also marked for automation marshalling.
constexpr WORD kDualFlags = TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE;
constexpr WORD kDualVtableFlags =
    TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;

const TypeRow kTypes[] = {
    {TKIND_COCLASS, L"CSearchDataEnumerator", qoinfo::CLSID_CSearchDataEnumerator,
     TYPEFLAG_FCANCREATE, 1, L"SearchDataEnumerator Class"},
    {TKIND_DISPATCH, L"ISearchDataEnumerator", qoinfo::IID_ISearchDataEnumerator,
     kDualFlags, 0, L"ISearchDataEnumerator Interface"},
    {TKIND_RECORD, L"_URL_DATE_IA_S", qoinfo::GUID_URL_DATE_IA_S, 0, 0, L""},
    {TKIND_COCLASS, L"CZuInfoAgent", qoinfo::CLSID_CZuInfoAgent,
     TYPEFLAG_FCANCREATE, 1, L"ZuInfoAgent Class"},
    {TKIND_DISPATCH, L"IZuInfoAgent", qoinfo::IID_IZuInfoAgent, kDualFlags, 0,
     L"IZuInfoAgent Interface"},
    {TKIND_RECORD, L"_URL_DATE_IA", qoinfo::GUID_URL_DATE_IA, 0, 0, L""},
    {TKIND_COCLASS, L"__Impl_BromHelper_IBromURLBaseEvents",
     qoinfo::CLSID_Impl_BromHelper_IBromURLBaseEvents, 0, 1, L""},
    {TKIND_DISPATCH, L"IBromURLBaseEvents", qoinfo::IID_IBromURLBaseEvents,
     kDualFlags, 0, L""},
};

TEST_F(TypeLibrary, EightTypeDescriptionsInOrder) {
  ASSERT_EQ(lib_->GetTypeInfoCount(), 8u);
  for (UINT i = 0; i < 8; ++i) {
    const TypeRow& row = kTypes[i];
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(lib_->GetTypeInfo(i, info.out()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, row.kind) << i;
    EXPECT_TRUE(IsEqualGUID(attr->guid, row.guid)) << i;
    EXPECT_EQ(attr->wTypeFlags, row.flags) << i;
    EXPECT_EQ(attr->wMajorVerNum, row.major) << i;
    EXPECT_EQ(attr->wMinorVerNum, 0) << i;
    if (row.kind == TKIND_COCLASS) {
      // Exactly one implemented interface, the default: the next row's.
      ASSERT_EQ(attr->cImplTypes, 1) << i;
      INT impl_flags = 0;
      EXPECT_EQ(info->GetImplTypeFlags(0, &impl_flags), S_OK);
      EXPECT_EQ(impl_flags, IMPLTYPEFLAG_FDEFAULT) << i;
      HREFTYPE ref = 0;
      ComPtr<ITypeInfo> impl;
      ASSERT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
      ASSERT_EQ(info->GetRefTypeInfo(ref, impl.out()), S_OK);
      EXPECT_EQ(Name(impl.get()), kTypes[i + 1].name);
    }
    info->ReleaseTypeAttr(attr);
    EXPECT_EQ(Name(info.get()), row.name) << i;
    EXPECT_EQ(HelpString(info.get()), row.help) << i;
  }
}

struct FieldRow {
  const wchar_t* name;
  VARTYPE type;
  std::size_t offset;
};

void CheckRecord(ITypeLib* lib, UINT index, const std::vector<FieldRow>& fields,
                 std::size_t size) {
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(lib->GetTypeInfo(index, info.out()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->cbSizeInstance, size);
  EXPECT_EQ(attr->cbAlignment, 8);
  ASSERT_EQ(attr->cVars, fields.size());
  info->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < fields.size(); ++i) {
    VARDESC* var = nullptr;
    ASSERT_EQ(info->GetVarDesc(i, &var), S_OK);
    BSTR name = nullptr;
    info->GetDocumentation(var->memid, &name, nullptr, nullptr, nullptr);
    EXPECT_EQ(Bstr(name), fields[i].name);
    EXPECT_EQ(var->memid, static_cast<MEMBERID>(0x40000000 + i));
    EXPECT_EQ(var->elemdescVar.tdesc.vt, fields[i].type) << i;
    EXPECT_EQ(var->varkind, VAR_PERINSTANCE);
    EXPECT_EQ(static_cast<std::size_t>(var->oInst), fields[i].offset) << i;
    info->ReleaseVarDesc(var);
  }
}

TEST_F(TypeLibrary, RecordsMatchTheCppStructs) {
  CheckRecord(lib_.get(), 5,
              {{L"Time", VT_I8, offsetof(_URL_DATE_IA, Time)},
               {L"Url", VT_BSTR, offsetof(_URL_DATE_IA, Url)},
               {L"Text", VT_BSTR, offsetof(_URL_DATE_IA, Text)},
               {L"Path", VT_BSTR, offsetof(_URL_DATE_IA, Path)},
               {L"Title", VT_BSTR, offsetof(_URL_DATE_IA, Title)}},
              sizeof(_URL_DATE_IA));
  CheckRecord(lib_.get(), 2,
              {{L"Time", VT_I8, offsetof(_URL_DATE_IA_S, Time)},
               {L"Url", VT_BSTR, offsetof(_URL_DATE_IA_S, Url)},
               {L"Path", VT_BSTR, offsetof(_URL_DATE_IA_S, Path)},
               {L"Title", VT_BSTR, offsetof(_URL_DATE_IA_S, Title)},
               {L"Percent", VT_I4, offsetof(_URL_DATE_IA_S, Percent)}},
              sizeof(_URL_DATE_IA_S));
}

// The vtable byte offset of a virtual member function. With the Itanium C++
// ABI that MinGW g++ uses, a pointer to a virtual member holds 1 + offset.
template <typename Method>
std::ptrdiff_t VtableOffset(Method method) {
  std::ptrdiff_t raw;
  static_assert(sizeof(method) >= sizeof(raw));
  std::memcpy(&raw, &method, sizeof(raw));
  return raw - 1;
}

struct MethodRow {
  const wchar_t* name;
  DISPID id;
  std::ptrdiff_t cpp_offset;
  std::vector<VARTYPE> params;  // VT_PTR stands for any pointer
  std::vector<USHORT> param_flags;
  const wchar_t* help;
};

void CheckInterface(ITypeLib* lib, UINT index,
                    const std::vector<MethodRow>& methods) {
  ComPtr<ITypeInfo> dispatch;
  ASSERT_EQ(lib->GetTypeInfo(index, dispatch.out()), S_OK);
  // The vtable side of the dual interface.
  HREFTYPE ref = 0;
  ComPtr<ITypeInfo> vtable;
  ASSERT_EQ(dispatch->GetRefTypeOfImplType(-1, &ref), S_OK);
  ASSERT_EQ(dispatch->GetRefTypeInfo(ref, vtable.out()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(vtable->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  EXPECT_EQ(attr->wTypeFlags, kDualVtableFlags);
  ASSERT_EQ(attr->cFuncs, methods.size());
  EXPECT_EQ(attr->cbSizeVft, (7 + methods.size()) * sizeof(void*));
  vtable->ReleaseTypeAttr(attr);

  for (UINT i = 0; i < methods.size(); ++i) {
    const MethodRow& m = methods[i];
    FUNCDESC* func = nullptr;
    ASSERT_EQ(vtable->GetFuncDesc(i, &func), S_OK);
    BSTR name = nullptr, doc = nullptr;
    vtable->GetDocumentation(func->memid, &name, &doc, nullptr, nullptr);
    EXPECT_EQ(Bstr(name), m.name);
    EXPECT_EQ(Bstr(doc), m.help) << i;
    EXPECT_EQ(func->memid, m.id) << i;
    // Slot 8, 9, ... after the seven of IDispatch, as the C++ declaration.
    EXPECT_EQ(func->oVft, static_cast<SHORT>((7 + i) * sizeof(void*))) << i;
    EXPECT_EQ(func->oVft, m.cpp_offset) << i;
    EXPECT_EQ(func->funckind, FUNC_PUREVIRTUAL);
    EXPECT_EQ(func->invkind, INVOKE_FUNC);
    EXPECT_EQ(func->callconv, CC_STDCALL);
    EXPECT_EQ(func->cParamsOpt, 0);
    EXPECT_EQ(func->wFuncFlags, 0);
    EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_HRESULT);
    ASSERT_EQ(static_cast<std::size_t>(func->cParams), m.params.size()) << i;
    for (SHORT p = 0; p < func->cParams; ++p) {
      EXPECT_EQ(func->lprgelemdescParam[p].tdesc.vt, m.params[p]) << i;
      EXPECT_EQ(func->lprgelemdescParam[p].paramdesc.wParamFlags,
                m.param_flags[p])
          << i;
    }
    vtable->ReleaseFuncDesc(func);

    // The dispatch side resolves the name to the same DISPID.
    LPOLESTR names[] = {const_cast<LPOLESTR>(m.name)};
    MEMBERID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(names, 1, &id), S_OK);
    EXPECT_EQ(id, m.id);
  }
}

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kOutRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

TEST_F(TypeLibrary, SearchDataEnumeratorMethods) {
  CheckInterface(
      lib_.get(), 1,
      {{L"Next", 1, VtableOffset(&ISearchDataEnumerator::Next), {VT_PTR},
        {kOutRetval}, L"method Next"},
       {L"Reset", 2, VtableOffset(&ISearchDataEnumerator::Reset), {}, {},
        L"method Reset"},
       {L"Count", 3, VtableOffset(&ISearchDataEnumerator::Count), {}, {},
        L"method Count"},
       {L"GetThis", 4, VtableOffset(&ISearchDataEnumerator::GetThis), {VT_PTR},
        {kOutRetval}, L"method GetThis"}});
}

TEST_F(TypeLibrary, ZuInfoAgentMethods) {
  CheckInterface(
      lib_.get(), 4,
      {{L"AddData", 1, VtableOffset(&IZuInfoAgent::AddData), {VT_USERDEFINED},
        {kIn}, L"method AddData"},
       {L"Search", 2, VtableOffset(&IZuInfoAgent::Search), {VT_BSTR, VT_PTR},
        {kIn, kOutRetval}, L"method Search"}});
}

TEST_F(TypeLibrary, UrlBaseEventMethods) {
  CheckInterface(
      lib_.get(), 7,
      {{L"OnDataAdded", 1, VtableOffset(&IBromURLBaseEvents::OnDataAdded),
        {VT_UI4}, {kIn}, L""},
       {L"OnDataBeforeRemove", 2,
        VtableOffset(&IBromURLBaseEvents::OnDataBeforeRemove), {VT_UI4}, {kIn},
        L""},
       {L"OnSettingsChanged", 3,
        VtableOffset(&IBromURLBaseEvents::OnSettingsChanged), {}, {}, L""}});
}

TEST_F(TypeLibrary, ParametersReferToTheRecordsAndInterfaces) {
  // AddData takes _URL_DATE_IA by value; Next fills a _URL_DATE_IA_S; Search
  // returns an ISearchDataEnumerator; GetThis a 64-bit integer.
  auto referenced = [&](UINT iface, UINT func_index, SHORT param) {
    ComPtr<ITypeInfo> dispatch, vtable;
    HREFTYPE ref = 0;
    lib_->GetTypeInfo(iface, dispatch.out());
    dispatch->GetRefTypeOfImplType(-1, &ref);
    dispatch->GetRefTypeInfo(ref, vtable.out());
    FUNCDESC* func = nullptr;
    vtable->GetFuncDesc(func_index, &func);
    const TYPEDESC* type = &func->lprgelemdescParam[param].tdesc;
    while (type->vt == VT_PTR) type = type->lptdesc;
    std::wstring name;
    if (type->vt == VT_USERDEFINED) {
      ComPtr<ITypeInfo> target;
      vtable->GetRefTypeInfo(type->hreftype, target.out());
      name = Name(target.get());
    } else if (type->vt == VT_I8) {
      name = L"VT_I8";
    }
    vtable->ReleaseFuncDesc(func);
    return name;
  };
  EXPECT_EQ(referenced(4, 0, 0), L"_URL_DATE_IA");
  EXPECT_EQ(referenced(4, 1, 1), L"ISearchDataEnumerator");
  EXPECT_EQ(referenced(1, 0, 0), L"_URL_DATE_IA_S");
  EXPECT_EQ(referenced(1, 3, 0), L"VT_I8");
}

}  // namespace
