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

namespace {
uint64_t g_blockSerials = 0;
}

CKRenderBlock::CKRenderBlock() : m_serial(++g_blockSerials) {}
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
    CKMaterial* m = material.Get();
    if (m != m_lastMaterial || !m_lastBlock || !m_lastBlock->m_inFrame) {
        // m_kept holds every sub-block for the block's life, so a slot of
        // this block's serial is live.
        CKIVBlock* kept = m->m_slotBlock == m_serial ? m->m_slot : nullptr;
        if (!kept) {
            CKPtr<CKIVBlock>& entry = m_kept[material];
            if (!entry) {
                entry = new CKIVBlock();
                entry->m_buffer = m_buffer;
            }
            kept = entry.Get();
            m->m_slotBlock = m_serial;
            m->m_slot = kept;
        }
        if (!kept->m_inFrame) {
            kept->m_inFrame = 1;
            m_frame.emplace_back(m, CKPtr<CKIVBlock>(kept));
        }
        m_lastMaterial = m;
        m_lastBlock = kept;
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
