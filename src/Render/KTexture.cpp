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
    if (g_TextureManager) g_TextureManager->Forget(this);
    for (CKPtr<CKTexture>& t : m_textures)
        if (t && mm_detail::MayTouch(t.Get()) && t->m_block == this) t->m_block = nullptr;
    m_textures.clear();
}

CKTextureManager::CKTextureManager() { g_TextureManager = this; }

CKTextureManager::~CKTextureManager() {
    for (auto& [name, texture] : m_textures) texture->m_filedUnder.clear();
    m_textures.Clear();
    m_blocks.Clear();
    if (g_TextureManager == this) g_TextureManager = nullptr;
}

CKPtr<CKTexture> CKTextureManager::GetTexture(const std::string& name) {
    if (CKPtr<CKTexture> filed = m_textures.Find(name)) return filed;
    CKPtr<CKTexture> texture(new CKTexture());
    if (!texture->Load(name)) {
        texture = new CKTexture();
        texture->Load(kStandBy);
    }
    texture->m_filedUnder = name;
    m_textures.File(name, texture.Get());
    return texture;
}

CKPtr<CKTextureBlock> CKTextureManager::GetTextureBlock(const std::vector<std::string>& names) {
    std::vector<CKPtr<CKTexture>> textures;
    textures.reserve(names.size());
    for (const std::string& name : names) textures.push_back(GetTexture(name));
    const BlockKey key = KeyOf(textures);
    if (CKPtr<CKTextureBlock> filed = m_blocks.Find(key)) return filed;
    CKPtr<CKTextureBlock> block(new CKTextureBlock(textures));
    m_blocks.File(key, block.Get());
    return block;
}

void CKTextureManager::Forget(CKTexture* texture) { m_textures.Forget(texture->m_filedUnder, texture); }

void CKTextureManager::Forget(CKTextureBlock* block) { m_blocks.Forget(KeyOf(block->m_textures), block); }

CKTextureManager::BlockKey CKTextureManager::KeyOf(const std::vector<CKPtr<CKTexture>>& textures) {
    BlockKey key;
    key.reserve(textures.size());
    for (const CKPtr<CKTexture>& t : textures) key.push_back(t.Get());
    return key;
}

size_t CKTextureManager::BlockKeyHash::operator()(const BlockKey& key) const noexcept {
    size_t h = key.size();
    for (const CKTexture* t : key) h = h * 31 + std::hash<const CKTexture*>()(t);
    return h;
}
