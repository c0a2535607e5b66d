// One vertex buffer and one index buffer in the managed pool, into which
// render blocks upload the geometry of many objects.
#pragma once

#include "Render/KDeviceListener.h"
#include "Render/KVertex.h"
#include "core/KMemoryManager.h"
#include "platform/d3d9/d3d9.h"

#include <cstdint>

class CKIVBlock;

// Bytes of vertex and index buffers created so far (re-creations included).
extern uint32_t g_VertexBufferBytes;

class CKIVertexBuffer : public IKMMObject, public IKDeviceListener {
public:
    static constexpr uint32_t kDefaultVertices = 65536;
    static constexpr uint32_t kDefaultIndices = 262144;

    CKIVertexBuffer() = default;
    ~CKIVertexBuffer() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKIVertexBuffer"; }
    void OnLostDevice() override;
    void OnResetDevice() override;

    // 0 counts take the defaults. False when a buffer already exists or the
    // device refuses one.
    bool Create(bool flag, uint32_t vertexCount, uint32_t indexCount);
    // Locks the first counts (0: all) with the write positions back at 0.
    bool Lock(uint32_t vertexCount, uint32_t indexCount);
    void Unlock();
    // Appends a sub-block's geometry; false (nothing changed) when it does not fit.
    bool AddBlock(CKIVBlock* block);

    IDirect3DVertexBuffer9* m_vertexBuffer = nullptr;
    IDirect3DIndexBuffer9* m_indexBuffer = nullptr;
    uint8_t m_created = 0;
    uint8_t m_locked = 0;
    uint32_t m_indexCapacity = 0;
    uint32_t m_vertexCapacity = 0;
    SKVertex* m_vertexWrite = nullptr;
    uint16_t* m_indexWrite = nullptr;
    uint32_t m_spare1 = 0;
    uint32_t m_spare2 = 0;
    uint32_t m_indicesWritten = 0;
    uint32_t m_verticesWritten = 0;

private:
    void ReleaseBuffers();
};
