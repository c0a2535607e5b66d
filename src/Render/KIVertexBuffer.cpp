#include "Render/KIVertexBuffer.h"

#include "Render/KRender.h"
#include "Render/KRenderBlock.h"
#include "Render/KRenderObject.h"
#include "core/KLog.h"

uint32_t g_VertexBufferBytes = 0;

namespace {
constexpr const char* kSource = "Render\\KIVertexBuffer";

IDirect3DDevice9* Device() { return GetRender() ? GetRender()->GetDevice() : nullptr; }
}  // namespace

CKIVertexBuffer::~CKIVertexBuffer() { ReleaseBuffers(); }

void CKIVertexBuffer::ReleaseBuffers() {
    Unlock();
    if (m_vertexBuffer) {
        m_vertexBuffer->Release();
        m_vertexBuffer = nullptr;
    }
    if (m_indexBuffer) {
        m_indexBuffer->Release();
        m_indexBuffer = nullptr;
    }
}

bool CKIVertexBuffer::Create(bool, uint32_t vertexCount, uint32_t indexCount) {
    if (m_vertexBuffer || m_indexBuffer) return false;
    m_indexCapacity = indexCount ? indexCount : kDefaultIndices;
    m_vertexCapacity = vertexCount ? vertexCount : kDefaultVertices;
    g_VertexBufferBytes += m_indexCapacity * 2;
    g_VertexBufferBytes += m_vertexCapacity * sizeof(SKVertex);
    m_created = 1;
    m_indicesWritten = m_verticesWritten = 0;
    IDirect3DDevice9* device = Device();
    if (!device) return false;
    bool result = true;
    HRESULT hr =
        device->CreateVertexBuffer(m_vertexCapacity * sizeof(SKVertex), D3DUSAGE_WRITEONLY | D3DUSAGE_DONOTCLIP,
                                   kVertexFVF, D3DPOOL_MANAGED, &m_vertexBuffer, nullptr);
    if (FAILED(hr)) {
        LogDXError(0, kSource, 79, hr);
        result = false;
    }
    hr = device->CreateIndexBuffer(m_indexCapacity * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                   &m_indexBuffer, nullptr);
    if (FAILED(hr)) {
        LogDXError(0, kSource, 90, hr);
        return false;
    }
    return result;
}

bool CKIVertexBuffer::Lock(uint32_t vertexCount, uint32_t indexCount) {
    if (m_locked) return false;
    m_spare1 = m_spare2 = 0;
    m_verticesWritten = m_indicesWritten = 0;
    // A buffer the device refused has nothing to lock.
    if (!m_vertexBuffer || !m_indexBuffer) return false;
    void* vertices = nullptr;
    HRESULT hr = m_vertexBuffer->Lock(0, vertexCount * sizeof(SKVertex), &vertices, 0);
    if (FAILED(hr)) {
        LogDXError(0, kSource, 141, hr);
        return false;
    }
    void* indices = nullptr;
    hr = m_indexBuffer->Lock(m_indicesWritten * 2, indexCount * 2, &indices, 0);
    if (FAILED(hr)) {
        LogDXError(0, kSource, 146, hr);
        m_vertexBuffer->Unlock();
        return false;
    }
    m_vertexWrite = static_cast<SKVertex*>(vertices);
    m_indexWrite = static_cast<uint16_t*>(indices);
    m_locked = 1;
    return true;
}

void CKIVertexBuffer::Unlock() {
    if (!m_locked) return;
    m_vertexBuffer->Unlock();
    m_indexBuffer->Unlock();
    m_locked = 0;
    m_vertexWrite = nullptr;
    m_indexWrite = nullptr;
}

bool CKIVertexBuffer::AddBlock(CKIVBlock* block) {
    if (!m_locked) return false;
    // Objects may have changed their geometry since they were added (texts,
    // particles): reserve what they will write now, not what they had then.
    block->RecountObjects();
    if (uint64_t{m_indicesWritten} + block->m_indexCount > m_indexCapacity ||
        uint64_t{m_verticesWritten} + block->m_vertexCount > m_vertexCapacity)
        return false;
    block->m_firstIndex = m_indicesWritten;
    block->m_baseVertex = m_verticesWritten;
    for (const CKPtr<CKRenderObject>& object : block->m_objects) {
        const uint32_t ni = static_cast<uint32_t>(object->GetIndexCount());
        const uint32_t nv = static_cast<uint32_t>(object->GetVertexCount());
        object->FillBuffers(m_vertexWrite, m_indexWrite, static_cast<uint16_t>(m_verticesWritten));
        m_vertexWrite += nv;
        m_indexWrite += ni;
        m_verticesWritten += nv;
        m_indicesWritten += ni;
    }
    block->m_uploaded = 1;
    return true;
}

void CKIVertexBuffer::OnLostDevice() { ReleaseBuffers(); }

void CKIVertexBuffer::OnResetDevice() {
    // Create refuses while a buffer exists; both are gone after a loss.
    Create(false, m_vertexCapacity, m_indexCapacity);
}
