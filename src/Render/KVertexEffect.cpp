#include "Render/KVertexEffect.h"

#include "core/KKernel.h"
#include "core/KLog.h"
#include "core/KTextReader.h"
#include "platform/crt/msvc_rand.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

// Each vertex goes through a copy, so dst may be src.
template <class Change>
void CopyChanging(SKVertex* dst, const SKVertex* src, int count, Change change) {
    for (int i = 0; i < count; ++i) {
        SKVertex vertex = src[i];
        change(vertex);
        dst[i] = vertex;
    }
}

// Whole-unit steps into [0, 1]: a value above 1 comes down into (0, 1], one
// below 0 comes up into [0, 1), so exactly 1 stays 1. floor takes all the
// steps at once, however large the value; one that is not finite has no
// place left in the texture and starts again from 0.
float WrapUnit(float x) {
    if (!std::isfinite(x)) return 0.0f;
    if (x > 1.0f) {
        const float fraction = x - std::floor(x);
        return fraction == 0.0f ? 1.0f : fraction;
    }
    if (x < 0.0f) return x - std::floor(x);
    return x;
}

float FiniteOrZero(float x) { return std::isfinite(x) ? x : 0.0f; }

// atof narrowed to float; a value beyond float's range is infinite.
float ToReal(const std::string& text) {
    const double value = std::atof(text.c_str());
    constexpr double kLargest = std::numeric_limits<float>::max();
    if (value > kLargest) return std::numeric_limits<float>::infinity();
    if (value < -kLargest) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

// Logs the message of the first parameter that is not a number.
bool AllNumbers(const std::vector<std::string>& params, const char* const messages[]) {
    for (size_t i = 0; i < params.size(); ++i) {
        if (!IsNumberString(params[i])) {
            CKLog::Print(1, "%s", messages[i]);
            return false;
        }
    }
    return true;
}

IKVertexEffect* CreateAnim(const std::vector<std::string>& params) {
    static const char* const kNotNumber[] = {
        "Эффект анимарованных текстур: первый параметр должен быть целым числом\n",
        "Эффект анимарованных текстур: второй параметр должен быть целым числом\n",
        "Эффект анимарованных текстур: третий параметр должен быть действительным числом\n",
    };
    if (params.size() != 3) {
        CKLog::Print(1, "%s", "Неправильное количество параметров для эффекта анимированнях текстур\n");
        return nullptr;
    }
    if (!AllNumbers(params, kNotNumber)) return nullptr;
    // The number test lets "-" and "" through, and a grid needs a cell.
    const int32_t columns = ReadSaturatedInt(params[0]);
    if (columns < 1) {
        CKLog::Print(1, "%s", kNotNumber[0]);
        return nullptr;
    }
    const int32_t rows = ReadSaturatedInt(params[1]);
    if (rows < 1) {
        CKLog::Print(1, "%s", kNotNumber[1]);
        return nullptr;
    }
    if (static_cast<int64_t>(columns) * rows > CKAnimTexEffect::kMaxFrames) {
        CKLog::Print(1, "Animated texture effect: too many cells (%d x %d; at most %d)\n", columns, rows,
                     CKAnimTexEffect::kMaxFrames);
        return nullptr;
    }
    return new CKAnimTexEffect(columns, rows, ToReal(params[2]));
}

IKVertexEffect* CreateFlick(const std::vector<std::string>& params) {
    static const char* const kNotNumber[] = {
        "Эффект мерцания: первый параметр должен быть действительным числом\n",
        "Эффект мерцания: второй параметр должен быть целым числом\n",
        "Эффект мерцания: третий параметр должен быть целым числом\n",
    };
    if (params.size() != 3) {
        CKLog::Print(1, "%s", "Неправильное количество параметров для мерцания\n");
        return nullptr;
    }
    if (!AllNumbers(params, kNotNumber)) return nullptr;
    return new CKFlickEffect(ToReal(params[0]), static_cast<uint8_t>(ReadSaturatedInt(params[1])),
                             static_cast<uint8_t>(ReadSaturatedInt(params[2])));
}

IKVertexEffect* CreateMovingTex(const std::vector<std::string>& params) {
    static const char* const kNotNumber[] = {
        "Эффект движущейся текстуры: первый параметр должен быть действительным числом\n",
        "Эффект движущейся текстуры: второй параметр должен быть действительным числом\n",
    };
    if (params.size() != 2) {
        CKLog::Print(1, "%s", "Неправильное количество параметров для движущейся текстуры\n");
        return nullptr;
    }
    if (!AllNumbers(params, kNotNumber)) return nullptr;
    return new CKMovingTexEffect(ToReal(params[0]), ToReal(params[1]));
}

IKVertexEffect* CreateFade(const std::vector<std::string>& params) {
    static const char* const kNotNumber[] = {
        "Эффект растворения: первый параметр должен быть действительным числом\n",
    };
    if (params.size() != 1) return nullptr;
    if (!AllNumbers(params, kNotNumber)) return nullptr;
    return new CKFadeEffect(ToReal(params[0]));
}

}  // namespace

// ---- fade ----

CKFadeEffect::CKFadeEffect(float rate) : m_rate(rate) {}

void CKFadeEffect::Update(float dt) {
    m_alpha -= dt * m_rate;
    // A negative rate brightens, but never past opaque; NaN (no time at an
    // infinite rate) counts as faded out.
    if (!(m_alpha > 0.0f)) {
        m_alpha = 0.0f;
    } else if (m_alpha > 255.0f) {
        m_alpha = 255.0f;
    }
}

void CKFadeEffect::Apply(SKVertex* dst, const SKVertex* src, int count) {
    Update(g_FrameTime);
    const D3DCOLOR colour = (static_cast<D3DCOLOR>(m_alpha) << 24) | 0x00FFFFFFu;
    CopyChanging(dst, src, count, [&](SKVertex& v) { v.diffuse = colour; });
}

IKVertexEffect* CKFadeEffect::Clone() const { return new CKFadeEffect(*this); }

// ---- movingtex ----

CKMovingTexEffect::CKMovingTexEffect(float uSpeed, float vSpeed)
    : m_uSpeed(FiniteOrZero(uSpeed)), m_vSpeed(FiniteOrZero(vSpeed)) {
    const float phase = static_cast<float>(platform::Rand());
    m_uOffset = phase * m_uSpeed;
    m_vOffset = phase * m_vSpeed;
}

void CKMovingTexEffect::Update(float dt) {
    m_uOffset = WrapUnit(m_uOffset + dt * m_uSpeed);
    m_vOffset = WrapUnit(m_vOffset + dt * m_vSpeed);
}

void CKMovingTexEffect::Apply(SKVertex* dst, const SKVertex* src, int count) {
    Update(g_FrameTime);
    CopyChanging(dst, src, count, [&](SKVertex& v) {
        v.u0 += m_uOffset;
        v.v0 += m_vOffset;
    });
}

IKVertexEffect* CKMovingTexEffect::Clone() const { return new CKMovingTexEffect(*this); }

// ---- flick ----

CKFlickEffect::CKFlickEffect(float frequency, uint8_t minimum, uint8_t maximum)
    : m_frequency(frequency), m_maximum(maximum), m_amplitude((maximum - minimum) * 0.5f) {
    // Both ends are bytes, so the middle is one too, either way round.
    m_middle = static_cast<uint8_t>(static_cast<int>(m_amplitude) + minimum);
    m_t = static_cast<float>(platform::Rand());
}

void CKFlickEffect::Update(float dt) {
    m_t += dt;
    float wave = std::sin(m_t * m_frequency);
    // A frequency too large for a phase holds the middle.
    if (!std::isfinite(wave)) wave = 0.0f;
    const float level = wave * m_amplitude + m_middle;
    m_level = level <= 0.0f ? 0u : level >= 255.0f ? 255u : static_cast<uint32_t>(level);
}

void CKFlickEffect::Apply(SKVertex* dst, const SKVertex* src, int count) {
    Update(g_FrameTime);
    const D3DCOLOR colour = (m_level << 16) | (m_level << 8) | m_level;
    CopyChanging(dst, src, count, [&](SKVertex& v) { v.diffuse = colour; });
}

IKVertexEffect* CKFlickEffect::Clone() const { return new CKFlickEffect(*this); }

// ---- anim ----

CKAnimTexEffect::CKAnimTexEffect(int32_t columns, int32_t rows, float rate)
    : m_columns(columns), m_rows(rows), m_rate(rate), m_invColumns(1.0f / static_cast<float>(columns)),
      m_invRows(1.0f / static_cast<float>(rows)), m_frameCount(columns * rows) {
    m_uOffsets.resize(m_frameCount);
    m_vOffsets.resize(m_frameCount);
    for (int32_t row = 0; row < m_rows; ++row) {
        for (int32_t column = 0; column < m_columns; ++column) {
            m_uOffsets[row * m_columns + column] = static_cast<float>(column) * m_invColumns;
            m_vOffsets[row * m_columns + column] = static_cast<float>(row) * m_invRows;
        }
    }
    m_frame = static_cast<uint32_t>(platform::Rand() % m_frameCount);
}

void CKAnimTexEffect::Update(float dt) {
    m_t += dt;
    // The cell count of elapsed time, modulo the grid as a non-negative
    // remainder: a negative rate plays backwards, and a count beyond int's
    // range stays on the grid. A product that is not a number leaves the
    // cell where it was.
    const float steps = std::trunc(m_t * m_rate);
    if (!std::isfinite(steps)) return;
    double cell = std::fmod(static_cast<double>(steps), static_cast<double>(m_frameCount));
    if (cell < 0.0) cell += m_frameCount;
    m_frame = static_cast<uint32_t>(cell);
}

void CKAnimTexEffect::Apply(SKVertex* dst, const SKVertex* src, int count) {
    Update(g_FrameTime);
    const float uOffset = m_uOffsets[m_frame];
    const float vOffset = m_vOffsets[m_frame];
    CopyChanging(dst, src, count, [&](SKVertex& v) {
        v.u0 = v.u0 * m_invColumns + uOffset;
        v.v0 = v.v0 * m_invRows + vOffset;
    });
}

IKVertexEffect* CKAnimTexEffect::Clone() const { return new CKAnimTexEffect(*this); }

// ---- by name ----

IKVertexEffect* CreateVertexEffect(const std::string& name, const std::vector<std::string>& params) {
    std::string kind = name;
    ToLowerString(kind);
    if (kind == "anim") return CreateAnim(params);
    if (kind == "flick") return CreateFlick(params);
    if (kind == "movingtex") return CreateMovingTex(params);
    if (kind == "fade") return CreateFade(params);
    return nullptr;
}
