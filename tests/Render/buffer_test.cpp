// Device listeners and the shared vertex/index buffer: capacities, the fit
// of sub-blocks, lock and creation failures, and re-creation after a reset.
#include "render_fixture.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

namespace {

// Releases cascade (a block frees its sub-blocks, they free their buffer), one
// level per collection: collect until nothing is pending, so no object of a
// test outlives its device or reaches the next test.
void Collect() {
    while (!g_PendingObjects.empty()) CollectGarbage();
}

class Buffers : public RenderTest {
protected:
    void TearDown() override {
        Collect();
        RenderTest::TearDown();
        Collect();
    }
};

// An object of any vertex and index count; every vertex carries the tag.
CKPtr<CKRenderObject> Geometry(uint32_t vertexCount, uint32_t indexCount, DWORD tag = 0) {
    CKPtr<CKRenderObject> object(new CKRenderObject("geometry"));
    for (uint32_t i = 0; i < vertexCount; ++i) {
        SKVertex v{};
        v.x = static_cast<float>(i);
        v.diffuse = tag;
        object->vertices.push_back(v);
    }
    for (uint32_t i = 0; i < indexCount; ++i) object->indices.push_back(static_cast<uint16_t>(i % vertexCount));
    object->worldVertices = object->vertices;
    return object;
}

CKPtr<CKIVBlock> SubBlock(std::initializer_list<CKPtr<CKRenderObject>> objects) {
    CKPtr<CKIVBlock> block(new CKIVBlock());
    for (const CKPtr<CKRenderObject>& o : objects) block->AddObject(o);
    return block;
}

// What the device buffers hold, read through the device's own lock.
std::vector<SKVertex> VertexContents(IDirect3DVertexBuffer9* vb) {
    D3DVERTEXBUFFER_DESC desc{};
    vb->GetDesc(&desc);
    void* data = nullptr;
    EXPECT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    std::vector<SKVertex> out(desc.Size / sizeof(SKVertex));
    std::memcpy(out.data(), data, out.size() * sizeof(SKVertex));
    vb->Unlock();
    return out;
}

std::vector<uint16_t> IndexContents(IDirect3DIndexBuffer9* ib) {
    D3DINDEXBUFFER_DESC desc{};
    ib->GetDesc(&desc);
    void* data = nullptr;
    EXPECT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
    std::vector<uint16_t> out(desc.Size / 2);
    std::memcpy(out.data(), data, out.size() * 2);
    ib->Unlock();
    return out;
}

bool Logged(const LogCapture& log, const std::string& prefix) {
    return std::any_of(log.lines.begin(), log.lines.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

// ---- listeners ----

class TestListener : public IKDeviceListener {
public:
    TestListener(std::vector<std::string>* log, std::string name) : m_log(log), m_name(std::move(name)) {}
    void OnLostDevice() override {
        m_log->push_back(m_name + " lost");
        if (m_onLost) m_onLost();
    }
    void OnResetDevice() override { m_log->push_back(m_name + " reset"); }

    std::vector<std::string>* m_log;
    std::string m_name;
    std::function<void()> m_onLost;
};

TEST(DeviceListeners, NotifiedFrontToBackAndRemovedFromEveryPositionWhenDestroyed) {
    std::vector<std::string> log;
    auto a = std::make_unique<TestListener>(&log, "a");
    auto b = std::make_unique<TestListener>(&log, "b");
    auto c = std::make_unique<TestListener>(&log, "c");
    NotifyDeviceLost();
    NotifyDeviceReset();
    EXPECT_EQ(log, (std::vector<std::string>{"a lost", "b lost", "c lost", "a reset", "b reset", "c reset"}));

    // Listed more than once: at the front, in its own place and at the end.
    g_DeviceListeners->push_front(b.get());
    g_DeviceListeners->push_back(b.get());
    IKDeviceListener* gone = b.get();
    b.reset();
    EXPECT_EQ(std::count(g_DeviceListeners->begin(), g_DeviceListeners->end(), gone), 0);
    log.clear();
    NotifyDeviceLost();
    EXPECT_EQ(log, (std::vector<std::string>{"a lost", "c lost"}));
}

TEST(DeviceListeners, AListenerDestroyedDuringANotificationIsNotCalled) {
    std::vector<std::string> log;
    auto a = std::make_unique<TestListener>(&log, "a");
    auto b = std::make_unique<TestListener>(&log, "b");
    auto c = std::make_unique<TestListener>(&log, "c");
    a->m_onLost = [&] { b.reset(); };
    NotifyDeviceLost();
    EXPECT_EQ(log, (std::vector<std::string>{"a lost", "c lost"}));
}

// ---- creation ----

TEST_F(Buffers, ZeroCountsTakeTheDefaultsEachOnItsOwn) {
    struct Case {
        uint32_t vertices, indices, wantVertices, wantIndices;
    } cases[] = {{0, 0, 65536, 262144}, {100, 0, 100, 262144}, {0, 30, 65536, 30}, {7, 9, 7, 9}};
    for (const Case& c : cases) {
        CKPtr<CKIVertexBuffer> buffer(new CKIVertexBuffer());
        const uint32_t before = g_VertexBufferBytes;
        EXPECT_TRUE(buffer->Create(false, c.vertices, c.indices));
        EXPECT_EQ(buffer->m_vertexCapacity, c.wantVertices) << c.vertices;
        EXPECT_EQ(buffer->m_indexCapacity, c.wantIndices) << c.indices;
        EXPECT_EQ(g_VertexBufferBytes - before, c.wantVertices * 48 + c.wantIndices * 2);
        D3DVERTEXBUFFER_DESC vd{};
        D3DINDEXBUFFER_DESC id{};
        buffer->m_vertexBuffer->GetDesc(&vd);
        buffer->m_indexBuffer->GetDesc(&id);
        EXPECT_EQ(vd.Size, c.wantVertices * 48);
        EXPECT_EQ(vd.FVF, 0x2D2u);
        EXPECT_EQ(vd.Pool, D3DPOOL_MANAGED);
        EXPECT_EQ(id.Size, c.wantIndices * 2);
        EXPECT_EQ(id.Format, D3DFMT_INDEX16);
    }
    CKPtr<CKIVertexBuffer> defaults(new CKIVertexBuffer());
    const uint32_t before = g_VertexBufferBytes;
    defaults->Create(false, 0, 0);
    EXPECT_EQ(g_VertexBufferBytes - before, 3670016u);
}

TEST_F(Buffers, ASecondCreateIsRefusedAndChangesNothing) {
    CKPtr<CKIVertexBuffer> buffer(new CKIVertexBuffer());
    ASSERT_TRUE(buffer->Create(false, 4, 6));
    IDirect3DVertexBuffer9* vb = buffer->m_vertexBuffer;
    const uint32_t before = g_VertexBufferBytes;
    EXPECT_FALSE(buffer->Create(false, 0, 0));
    EXPECT_EQ(buffer->m_vertexBuffer, vb);
    EXPECT_EQ(buffer->m_vertexCapacity, 4u);
    EXPECT_EQ(buffer->m_indexCapacity, 6u);
    EXPECT_EQ(g_VertexBufferBytes, before);

    // One buffer of the pair is enough to refuse.
    H().failing.insert("CreateVertexBuffer");
    CKPtr<CKIVertexBuffer> half(new CKIVertexBuffer());
    EXPECT_FALSE(half->Create(false, 4, 6));
    H().failing.clear();
    ASSERT_NE(half->m_indexBuffer, nullptr);
    EXPECT_FALSE(half->Create(false, 4, 6));
    EXPECT_EQ(half->m_vertexBuffer, nullptr);
}

// ---- fitting sub-blocks ----

TEST_F(Buffers, ABlockPassingEitherCapacityByOneIsRefusedAndOneFillingItExactlyFits) {
    struct Case {
        const char* what;
        uint32_t firstVertices, firstIndices;  // already in the buffer (0: nothing)
        uint32_t vertices, indices;
        bool fits;
    } cases[] = {
        {"exactly full", 0, 0, 8, 12, true},
        {"one vertex over", 0, 0, 9, 12, false},
        {"one index over", 0, 0, 8, 13, false},
        {"exactly full after another", 4, 6, 4, 6, true},
        {"one vertex over after another", 4, 6, 5, 6, false},
        {"one index over after another", 4, 6, 4, 7, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CKPtr<CKIVertexBuffer> buffer(new CKIVertexBuffer());
        ASSERT_TRUE(buffer->Create(false, 8, 12));
        ASSERT_TRUE(buffer->Lock(0, 0));
        if (c.firstVertices) {
            ASSERT_TRUE(buffer->AddBlock(SubBlock({Geometry(c.firstVertices, c.firstIndices, 1)}).Get()));
        }
        CKPtr<CKIVBlock> block = SubBlock({Geometry(c.vertices, c.indices, 2)});
        EXPECT_EQ(buffer->AddBlock(block.Get()), c.fits);
        EXPECT_EQ(block->m_uploaded, c.fits ? 1 : 0);
        EXPECT_EQ(buffer->m_verticesWritten, c.firstVertices + (c.fits ? c.vertices : 0));
        EXPECT_EQ(buffer->m_indicesWritten, c.firstIndices + (c.fits ? c.indices : 0));
        if (c.fits) {
            EXPECT_EQ(block->m_baseVertex, c.firstVertices);
            EXPECT_EQ(block->m_firstIndex, c.firstIndices);
        }
        buffer->Unlock();
        if (!c.fits) continue;
        // The indices were written as absolute vertex numbers of the buffer.
        const std::vector<SKVertex> vertices = VertexContents(buffer->m_vertexBuffer);
        const std::vector<uint16_t> indices = IndexContents(buffer->m_indexBuffer);
        for (uint32_t i = 0; i < c.vertices; ++i) EXPECT_EQ(vertices[c.firstVertices + i].diffuse, 2u) << i;
        for (uint32_t i = 0; i < c.indices; ++i)
            EXPECT_EQ(indices[c.firstIndices + i], c.firstVertices + i % c.vertices) << i;
    }
}

TEST_F(Buffers, AnUnlockedBufferRefusesEveryBlock) {
    CKPtr<CKIVertexBuffer> buffer(new CKIVertexBuffer());
    ASSERT_TRUE(buffer->Create(false, 8, 12));
    CKPtr<CKIVBlock> block = SubBlock({Geometry(4, 6)});
    EXPECT_FALSE(buffer->AddBlock(block.Get()));
    EXPECT_EQ(block->m_uploaded, 0);
}

// Texts and particles change their geometry after they were added: the fit
// is judged on what the objects will write now.
TEST_F(Buffers, AnObjectWhoseGeometryChangedAfterItWasAddedIsMeasuredAgain) {
    struct Case {
        const char* what;
        int quadsNow;
        bool fits;
    } cases[] = {{"grown, still fits", 2, true}, {"grown past the buffer", 3, false}, {"shrunk", 0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CKPtr<CKIVertexBuffer> buffer(new CKIVertexBuffer());
        ASSERT_TRUE(buffer->Create(false, 8, 12));
        CKPtr<CKTestObject3D> object(new CKTestObject3D("text", 1, 5));
        CKPtr<CKIVBlock> block = SubBlock({object});
        object->SetQuads(c.quadsNow, 5);
        ASSERT_TRUE(buffer->Lock(0, 0));
        EXPECT_EQ(buffer->AddBlock(block.Get()), c.fits);
        const uint32_t v = c.fits ? 4u * static_cast<uint32_t>(c.quadsNow) : 0u;
        EXPECT_EQ(buffer->m_verticesWritten, v);
        EXPECT_EQ(buffer->m_indicesWritten, v / 4 * 6);
        EXPECT_LE(buffer->m_verticesWritten, buffer->m_vertexCapacity);
        EXPECT_LE(buffer->m_indicesWritten, buffer->m_indexCapacity);
        if (c.fits) {
            // The draw covers exactly what was written.
            EXPECT_EQ(block->m_vertexCount, v);
            EXPECT_EQ(block->m_indexCount, v / 4 * 6);
        }
        buffer->Unlock();
    }
}

// ---- locking ----

TEST_F(Buffers, LockingTwiceIsRefusedUntilUnlocked) {
    CKPtr<CKIVertexBuffer> buffer(new CKIVertexBuffer());
    ASSERT_TRUE(buffer->Create(false, 8, 12));
    ASSERT_TRUE(buffer->Lock(0, 0));
    ASSERT_TRUE(buffer->AddBlock(SubBlock({Geometry(4, 6)}).Get()));
    EXPECT_FALSE(buffer->Lock(0, 0));
    EXPECT_EQ(buffer->m_locked, 1);
    buffer->Unlock();
    EXPECT_EQ(buffer->m_locked, 0);
    ASSERT_TRUE(buffer->Lock(0, 0));
    EXPECT_EQ(buffer->m_verticesWritten, 0u);  // every lock writes from the start
    EXPECT_EQ(buffer->m_indicesWritten, 0u);
    buffer->Unlock();
}

TEST_F(Buffers, DeviceFailuresAreLoggedWithTheirLineAndGiveFalse) {
    struct Case {
        const char* call;
        int line;
        bool createFails;
    } cases[] = {{"CreateVertexBuffer", 79, true},
                 {"CreateIndexBuffer", 90, true},
                 {"IDirect3DVertexBuffer9::Lock", 141, false},
                 {"IDirect3DIndexBuffer9::Lock", 146, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        LogCapture log;
        H().failing = {c.call};
        CKPtr<CKIVertexBuffer> buffer(new CKIVertexBuffer());
        EXPECT_EQ(buffer->Create(false, 8, 12), !c.createFails);
        // A buffer the device refused must not be locked, and no lock may crash.
        EXPECT_FALSE(buffer->Lock(0, 0));
        EXPECT_EQ(buffer->m_locked, 0);
        EXPECT_EQ(buffer->m_vertexWrite, nullptr);
        EXPECT_FALSE(buffer->AddBlock(SubBlock({Geometry(4, 6)}).Get()));
        H().failing.clear();
        const std::string line = "DXError if Render\\KIVertexBuffer on line " + std::to_string(c.line) + "\n";
        EXPECT_TRUE(Logged(log, line)) << (log.lines.empty() ? "" : log.lines.front());
        if (c.line == 79) {
            EXPECT_NE(buffer->m_indexBuffer, nullptr);  // the index buffer is still made
        }
        if (c.line == 146) {
            // The vertex buffer was locked first and must be unlocked again.
            EXPECT_EQ(buffer->m_vertexBuffer->Unlock(), D3DERR_INVALIDCALL);
        }
    }
}

// ---- device reset ----

TEST_F(Buffers, AResetCreatesBothBuffersAgainWithTheSameCapacities) {
    CKPtr<CKIVertexBuffer> buffer(new CKIVertexBuffer());
    ASSERT_TRUE(buffer->Create(false, 16, 24));
    ASSERT_TRUE(buffer->Lock(0, 0));  // lost while locked
    const uint32_t before = g_VertexBufferBytes;
    NotifyDeviceLost();
    EXPECT_EQ(buffer->m_vertexBuffer, nullptr);
    EXPECT_EQ(buffer->m_indexBuffer, nullptr);
    EXPECT_EQ(buffer->m_locked, 0);
    NotifyDeviceReset();
    ASSERT_NE(buffer->m_vertexBuffer, nullptr);
    ASSERT_NE(buffer->m_indexBuffer, nullptr);
    EXPECT_EQ(buffer->m_vertexCapacity, 16u);
    EXPECT_EQ(buffer->m_indexCapacity, 24u);
    D3DVERTEXBUFFER_DESC vd{};
    D3DINDEXBUFFER_DESC id{};
    buffer->m_vertexBuffer->GetDesc(&vd);
    buffer->m_indexBuffer->GetDesc(&id);
    EXPECT_EQ(vd.Size, 16u * 48);
    EXPECT_EQ(id.Size, 24u * 2);
    // Every re-creation counts again, this buffer's and every other listening one's.
    uint32_t listening = 0;
    for (IKDeviceListener* l : *g_DeviceListeners)
        if (auto* b = dynamic_cast<CKIVertexBuffer*>(l)) listening += b->m_vertexCapacity * 48 + b->m_indexCapacity * 2;
    EXPECT_EQ(g_VertexBufferBytes - before, listening);
    EXPECT_TRUE(buffer->Lock(0, 0));
    buffer->Unlock();
}

}  // namespace
