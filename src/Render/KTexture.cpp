#include "Render/KTexture.h"

#include "Render/KRender.h"
#include "core/KFile.h"
#include "core/KLog.h"
#include "platform/d3dx9/d3dx9.h"

#include <new>

namespace {
constexpr const char* kSource = "Render\\KTexture";
constexpr const char* kStandBy = "error.tga";
CKTextureManager* g_TextureManager = nullptr;
}  // namespace

CKTextureManager* GetTextureManager() { return g_TextureManager; }

CKTexture::CKTexture() = default;

CKTexture::~CKTexture() {
    if (m_block && m_slot >= 0 && m_slot < static_cast<int32_t>(m_block->m_textures.size()) &&
        m_block->m_textures[static_cast<size_t>(m_slot)].Get() == this) {
        // The block's entry goes without a Release: this texture is already going.
        new (&m_block->m_textures[static_cast<size_t>(m_slot)]) CKPtr<CKTexture>();
    }
    if (m_texture) m_texture->Release();
    if (g_TextureManager) g_TextureManager->Forget(this);
}

bool CKTexture::Load(const std::string& name) {
    m_name = name;
    CKFile file("Data\\Textures\\" + name);
    if (FAILED(file.Load())) return false;
    IDirect3DDevice9* device = GetRender() ? GetRender()->GetDevice() : nullptr;
    const HRESULT hr = device ? D3DXCreateTextureFromFileInMemory(device, file.GetData(), file.GetSize(), &m_texture)
                              : D3DERR_INVALIDCALL;
    if (FAILED(hr)) {
        m_texture = nullptr;
        LogDXError(0, kSource, 53, hr);
        return false;
    }
    return true;
}

CKTextureBlock::CKTextureBlock(const std::vector<CKPtr<CKTexture>>& textures)
    : m_textures(textures), m_count(static_cast<int32_t>(textures.size())) {
    for (size_t i = 0; i < m_textures.size(); ++i) {
        m_textures[i]->m_block = this;
        m_textures[i]->m_slot = static_cast<int32_t>(i);
    }
}

CKTextureBlock::~CKTextureBlock() {
    for (CKPtr<CKTexture>& t : m_textures)
        if (t && mm_detail::MayTouch(t.Get()) && t->m_block == this) t->m_block = nullptr;
    m_textures.clear();
    if (g_TextureManager) g_TextureManager->Forget(this);
}

CKTextureManager::CKTextureManager() { g_TextureManager = this; }

CKTextureManager::~CKTextureManager() {
    for (auto& [name, texture] : m_textures) texture->m_filedUnder.clear();
    m_textures.clear();
    m_blocks.clear();
    if (g_TextureManager == this) g_TextureManager = nullptr;
}

CKPtr<CKTexture> CKTextureManager::GetTexture(const std::string& name) {
    auto it = m_textures.find(name);
    if (it != m_textures.end()) return CKPtr<CKTexture>(it->second);
    CKPtr<CKTexture> texture(new CKTexture());
    if (!texture->Load(name)) {
        texture = new CKTexture();
        texture->Load(kStandBy);
    }
    texture->m_filedUnder = name;
    m_textures[name] = texture.Get();
    return texture;
}

CKPtr<CKTextureBlock> CKTextureManager::GetTextureBlock(const std::vector<std::string>& names) {
    std::vector<CKPtr<CKTexture>> textures;
    textures.reserve(names.size());
    for (const std::string& name : names) textures.push_back(GetTexture(name));
    for (CKTextureBlock* block : m_blocks) {
        if (block->m_count != static_cast<int32_t>(textures.size())) continue;
        bool same = true;
        for (size_t i = 0; i < textures.size() && same; ++i) same = block->m_textures[i] == textures[i];
        if (same) return CKPtr<CKTextureBlock>(block);
    }
    CKPtr<CKTextureBlock> block(new CKTextureBlock(textures));
    m_blocks.push_back(block.Get());
    return block;
}

void CKTextureManager::Forget(CKTexture* texture) {
    auto it = m_textures.find(texture->m_filedUnder);
    if (it != m_textures.end() && it->second == texture) m_textures.erase(it);
}

void CKTextureManager::Forget(CKTextureBlock* block) { m_blocks.remove(block); }
