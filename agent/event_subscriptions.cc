#include "agent/event_subscriptions.h"

#include <new>

#include "agent/url_base_event_sink.h"
#include "platform/com_ptr.h"
#include "platform/connection_point.h"

namespace qoinfo {
namespace {

// The connection point for IBromURLBaseEvents of `source`.
HRESULT FindEventsPoint(IUnknown* source, IConnectionPoint** point) {
  platform::ComPtr<IConnectionPointContainer> container;
  HRESULT hr =
      source->QueryInterface(IID_IConnectionPointContainer, container.out_void());
  if (FAILED(hr)) return hr;
  if (container.get() == nullptr) return E_POINTER;
  return container->FindConnectionPoint(IID_IBromURLBaseEvents, point);
}

}  // namespace

__ComEventingNode::__ComEventingNode(__EventHandlerProxy* receiver,
                                     IUnknown* source)
    : m_receiver(receiver), m_sourceKey(source), m_source(source) {
  m_source->AddRef();
}

__ComEventingNode::~__ComEventingNode() {
  if (m_sink != nullptr) {
    m_sink->Detach();
    m_sink->Release();
  }
  if (m_source != nullptr) m_source->Release();
}

std::int32_t __ComEventingNode::HandlerAt(std::uint32_t position) const {
  return position < m_eventCount ? m_handlers[position] : kUnboundHandler;
}

__ComEventingImpl::~__ComEventingImpl() {
  while (m_first != nullptr) {
    __ComEventingNode* next = m_first->m_next;
    delete m_first;
    m_first = next;
  }
}

__ComEventingNode* __ComEventingImpl::FindSubscription(
    __ComEventingNode* from, IUnknown* source) const {
  for (__ComEventingNode* node = from; node != nullptr; node = node->m_next) {
    if (node->m_sourceKey == source && node->m_receiver == this &&
        IsEqualGUID(*node->m_eventInterface, IID_IBromURLBaseEvents)) {
      return node;
    }
  }
  return nullptr;
}

__ComEventingNode* __ComEventingImpl::AddSubscription(IUnknown* source) {
  auto* node = new (std::nothrow) __ComEventingNode(this, source);
  if (node == nullptr) return nullptr;
  node->m_sink = new (std::nothrow) __Impl_BromHelper_IBromURLBaseEvents(this, node);
  if (node->m_sink == nullptr) {
    delete node;
    return nullptr;
  }
  node->m_sink->AddRef();
  __ComEventingNode** tail = &m_first;
  while (*tail != nullptr) tail = &(*tail)->m_next;
  *tail = node;
  return node;
}

HRESULT __ComEventingImpl::HookEvent(IUnknown* source, std::uint32_t position,
                                     std::int32_t handler) {
  if (source == nullptr || position >= kURLBaseEventCount) return E_FAIL;
  __ComEventingNode* node = FindSubscription(m_first, source);
  for (;;) {
    if (node == nullptr) {
      node = AddSubscription(source);
      if (node == nullptr) return E_OUTOFMEMORY;
    }
    bool bound_here = false;
    if (node->m_handlers[position] == kUnboundHandler) {
      node->m_handlers[position] = handler;
      ++node->m_boundCount;
      bound_here = true;
    }
    if (node->m_cookie == 0) {
      // A record unadvised earlier gave its source back; take it again.
      if (node->m_source == nullptr) {
        node->m_source = source;
        source->AddRef();
      }
      platform::ComPtr<IConnectionPoint> point;
      HRESULT hr = FindEventsPoint(source, point.out());
      if (SUCCEEDED(hr) && point.get() == nullptr) hr = E_POINTER;
      if (SUCCEEDED(hr)) {
        DWORD cookie = 0;
        hr = point->Advise(node->m_sink, &cookie);
        if (SUCCEEDED(hr)) node->m_cookie = cookie;
      }
      return hr;
    }
    if (bound_here) return S_OK;
    node = FindSubscription(node->m_next, source);
  }
}

HRESULT __ComEventingImpl::UnhookEvent(IUnknown* source,
                                       std::uint32_t position) {
  if (position >= kURLBaseEventCount) return E_FAIL;
  for (__ComEventingNode* node = FindSubscription(m_first, source);
       node != nullptr; node = FindSubscription(node->m_next, source)) {
    bool cleared_here = false;
    if (node->m_handlers[position] != kUnboundHandler) {
      node->m_handlers[position] = kUnboundHandler;
      --node->m_boundCount;
      cleared_here = true;
    }
    if (node->m_cookie != 0 && node->m_boundCount == 0) {
      platform::ComPtr<IConnectionPoint> point;
      HRESULT hr = node->m_source != nullptr
                       ? FindEventsPoint(node->m_source, point.out())
                       : E_FAIL;
      if (SUCCEEDED(hr) && point.get() == nullptr) hr = E_POINTER;
      if (SUCCEEDED(hr)) hr = point->Unadvise(node->m_cookie);
      if (SUCCEEDED(hr)) {
        node->m_source->Release();
        node->m_source = nullptr;
        node->m_cookie = 0;
      }
      return hr;
    }
    if (cleared_here) return S_OK;
  }
  return E_FAIL;
}

}  // namespace qoinfo
