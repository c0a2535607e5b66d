// Vertex and index buffers, in whichever pool: the CPU copy answers locks
// and the draws' checks; the last unlock sends the bytes written since the
// first lock to the backend.
#include "platform/d3d9/d3d9_objects.h"

#include <algorithm>
#include <string>
#include <type_traits>
#include <utility>

namespace platform::d3d {

template <class Interface>
Buffer<Interface>::Buffer(Device* d, UINT length, DWORD u, D3DPOOL p, std::unique_ptr<gfx::BackendResource> g)
    : bytes(length), gpu(std::move(g)), usage(u), pool(p), device(d) {
    device->AddRef();
}

template <class Interface>
Buffer<Interface>::~Buffer() {
    // The backend's copy goes first: releasing the device may end the backend.
    gpu.reset();
    device->Forget(this);
    device->Release();
}

template <class Interface>
D3DRESOURCETYPE Buffer<Interface>::GetType() {
    return std::is_same_v<Interface, IDirect3DVertexBuffer9> ? D3DRTYPE_VERTEXBUFFER : D3DRTYPE_INDEXBUFFER;
}

template <class Interface>
HRESULT Buffer<Interface>::Lock(UINT offset, UINT size, void** data, DWORD flags) {
    (void)flags;
    const bool vertex = std::is_same_v<Interface, IDirect3DVertexBuffer9>;
    if (device->Recording())
        device->Record(std::string(vertex ? "VB" : "IB") + " Lock " + std::to_string(offset) + " " +
                       std::to_string(size));
    if (!data) return D3DERR_INVALIDCALL;
    *data = nullptr;
    if (Fails(vertex ? "IDirect3DVertexBuffer9::Lock" : "IDirect3DIndexBuffer9::Lock")) return D3DERR_INVALIDCALL;
    const uint64_t length = bytes.size();
    if (offset > length || (size != 0 && uint64_t{offset} + size > length)) return D3DERR_INVALIDCALL;
    const UINT end = size == 0 ? static_cast<UINT>(length) : offset + size;
    if (locks == 0) {
        dirtyBegin = offset;
        dirtyEnd = end;
    } else {
        dirtyBegin = std::min(dirtyBegin, offset);
        dirtyEnd = std::max(dirtyEnd, end);
    }
    if (!pageStale.empty() && end > offset)
        std::fill(pageStale.begin() + offset / kPageBytes, pageStale.begin() + (end - 1) / kPageBytes + 1, 1);
    ++locks;
    *data = bytes.data() + offset;
    return D3D_OK;
}

template <class Interface>
HRESULT Buffer<Interface>::Unlock() {
    if (locks == 0) return D3DERR_INVALIDCALL;
    if (--locks == 0 && dirtyEnd > dirtyBegin)
        device->Graphics()->UpdateBuffer(gpu.get(), dirtyBegin, bytes.data() + dirtyBegin, dirtyEnd - dirtyBegin);
    return D3D_OK;
}

uint16_t IndexBuffer::MaxIndexAtMost(UINT first, UINT count) {
    if (count == 0) return 0;
    constexpr UINT kPerPage = kPageBytes / 2;
    const auto* indices = reinterpret_cast<const uint16_t*>(bytes.data());
    const size_t total = bytes.size() / 2;
    uint16_t largest = 0;
    for (size_t page = first / kPerPage; page <= (first + count - 1) / kPerPage; ++page) {
        if (pageStale[page]) {
            const size_t begin = page * kPerPage, end = std::min(total, begin + kPerPage);
            pageMax[page] = begin < end ? *std::max_element(indices + begin, indices + end) : 0;
            pageStale[page] = 0;
        }
        largest = std::max(largest, pageMax[page]);
    }
    return largest;
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = {D3DFMT_UNKNOWN, D3DRTYPE_VERTEXBUFFER, usage, pool, static_cast<UINT>(bytes.size()), fvf};
    return D3D_OK;
}

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = {D3DFMT_INDEX16, D3DRTYPE_INDEXBUFFER, usage, pool, static_cast<UINT>(bytes.size())};
    return D3D_OK;
}

template class Buffer<IDirect3DVertexBuffer9>;
template class Buffer<IDirect3DIndexBuffer9>;

}  // namespace platform::d3d
