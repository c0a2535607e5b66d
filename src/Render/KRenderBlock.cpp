#include "Render/KRenderBlock.h"

#include "Render/KIVertexBuffer.h"
#include "Render/KMaterial.h"
#include "Render/KRender.h"
#include "Render/KRenderObject.h"

CKIVBlock::CKIVBlock() = default;
CKIVBlock::~CKIVBlock() = default;

void CKIVBlock::AddObject(const CKPtr<CKRenderObject>& object) {
    m_indexCount += static_cast<uint32_t>(object->GetIndexCount());
    m_vertexCount += static_cast<uint32_t>(object->GetVertexCount());
    m_objects.push_back(object);
}

void CKIVBlock::RecountObjects() {
    m_indexCount = m_vertexCount = 0;
    for (const CKPtr<CKRenderObject>& object : m_objects) {
        m_indexCount += static_cast<uint32_t>(object->GetIndexCount());
        m_vertexCount += static_cast<uint32_t>(object->GetVertexCount());
    }
}

CKRenderBlock::CKRenderBlock() = default;
CKRenderBlock::~CKRenderBlock() = default;

bool CKRenderBlock::CreateVertexBuffer(bool flag, uint32_t vertexCount, uint32_t indexCount) {
    CKPtr<CKIVertexBuffer> buffer(new CKIVertexBuffer());
    m_buffer = buffer;
    if (!buffer->Create(flag, vertexCount, indexCount)) {
        m_buffer = nullptr;
        return false;
    }
    return true;
}

void CKRenderBlock::AddObject(const CKPtr<CKRenderObject>& object) {
    if (!object || !object->visible) return;
    const CKPtr<CKMaterial>& material = object->GetMaterial();
    // Nothing can draw an object without a material.
    if (!material) return;
    if (material.Get() != m_lastMaterial || !m_lastBlock || !m_lastBlock->m_inFrame) {
        CKPtr<CKIVBlock>& kept = m_kept[material];
        if (!kept) {
            kept = new CKIVBlock();
            kept->m_buffer = m_buffer;
        }
        if (!kept->m_inFrame) {
            kept->m_inFrame = 1;
            m_frame.emplace_back(material.Get(), kept);
        }
        m_lastMaterial = material.Get();
        m_lastBlock = kept.Get();
    }
    m_lastBlock->AddObject(object);
}

void CKRenderBlock::AddObjectTree(const CKPtr<CKRenderObject>& object) {
    if (!object) return;
    AddObject(object);
    if (!object->visible) return;
    for (const CKPtr<CKRenderObject>& child : object->children) AddObjectTree(child);
}

void CKRenderBlock::Rebuild() {
    if (!m_dirty) return;
    // Without a buffer there is nothing to lock; such a block never draws.
    if (!m_buffer) return;
    if (m_buffer->Lock(0, 0)) {
        for (auto& [material, block] : m_frame)
            if (!block->m_uploaded) m_buffer->AddBlock(block.Get());
        m_buffer->Unlock();
    }
    m_dirty = 0;
}

void CKRenderBlock::Submit() {
    if (CKRender* render = GetRender()) render->SubmitBlock(CKPtr<CKRenderBlock>(this));
    for (auto& [material, block] : m_frame) material->QueueBlock(block.Get());
}

void CKRenderBlock::Reset() {
    m_dirty = 1;
    for (auto& [material, block] : m_frame) {
        block->m_indexCount = block->m_vertexCount = 0;
        block->m_uploaded = 0;
        block->m_objects.clear();
        block->m_inFrame = 0;
    }
    m_frame.clear();
}
