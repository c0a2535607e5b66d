#include "core/KConfig.h"

#include "core/KConfigVars.h"
#include "core/KTextReader.h"
#include "platform/win32/paths.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sstream>
#include <type_traits>

CKConfig* g_Config = nullptr;

namespace {

// The default dators, each held by a counted pointer of its own.
CKPtr<IKDator> g_screenWidthDator, g_screenHeightDator, g_screenBPPDator, g_fullScreenDator, g_statisticDator,
    g_splinesDator, g_bboxesDator, g_channelsDator, g_frequencyDator, g_bitrateDator, g_soundVolumeDator,
    g_musicVolumeDator;

struct DefaultDator {
    const char* key;
    CKPtr<IKDator>* holder;
    IKDator* (*make)();
};

template <auto* Variable, bool Positive = false>
IKDator* Make() {
    return new CKDator<std::remove_pointer_t<decltype(Variable)>>(Variable, Positive);
}

const DefaultDator kDefaults[] = {
    {"screenWidth", &g_screenWidthDator, &Make<&screenWidth, true>},
    {"screenHeight", &g_screenHeightDator, &Make<&screenHeight, true>},
    {"screenBPP", &g_screenBPPDator, &Make<&screenBPP>},
    {"fullScreen", &g_fullScreenDator, &Make<&fullScreen>},
    {"statistic", &g_statisticDator, &Make<&statistic>},
    {"splines", &g_splinesDator, &Make<&splines>},
    {"bboxes", &g_bboxesDator, &Make<&bboxes>},
    {"channels", &g_channelsDator, &Make<&channels>},
    {"frequency", &g_frequencyDator, &Make<&frequency>},
    {"bitrate", &g_bitrateDator, &Make<&bitrate>},
    {"soundVolume", &g_soundVolumeDator, &Make<&soundVolume>},
    {"musicVolume", &g_musicVolumeDator, &Make<&musicVolume>},
};

// Longest line taken from config.cfg; the rest of a longer line is dropped.
constexpr size_t kMaxLine = 1023;

}  // namespace

template <class T>
void CKDator<T>::Apply(const std::string& text, int sign) {
    std::istringstream in(text);
    T value{};
    if (!(in >> value)) return;
    // Worked out wider than the variable, so a sum beyond its range (or not
    // finite) is seen and refused rather than stored or overflowed.
    using Wide = std::conditional_t<std::is_floating_point_v<T>, long double, int64_t>;
    const Wide result = sign == 0  ? Wide{value}
                        : sign > 0 ? Wide{*m_variable} + Wide{value}
                                   : Wide{*m_variable} - Wide{value};
    if (!(result >= Wide{std::numeric_limits<T>::lowest()} && result <= Wide{std::numeric_limits<T>::max()})) return;
    if (m_positiveOnly && !(result > 0)) return;
    *m_variable = static_cast<T>(result);
}

template <class T>
void CKDator<T>::Set(const std::string& text) {
    Apply(text, 0);
}

template <class T>
void CKDator<T>::Add(const std::string& text) {
    Apply(text, 1);
}

template <class T>
void CKDator<T>::Sub(const std::string& text) {
    Apply(text, -1);
}

template <class T>
std::string CKDator<T>::ToString() {
    std::ostringstream out;
    out << *m_variable;
    return out.str();
}

template class CKDator<int>;
template class CKDator<float>;

CKConfig::CKConfig() {
    g_Config = this;
    m_dators.reserve(100);
    RegisterDefaults();
}

CKConfig::~CKConfig() {
    ReleaseDefaults();
    m_dators.clear();
    if (g_Config == this) g_Config = nullptr;
}

void CKConfig::Register(const std::string& name, const CKPtr<IKDator>& dator) { m_dators[name] = dator; }

void CKConfig::RegisterDefaults() {
    for (const DefaultDator& d : kDefaults) {
        *d.holder = d.make();
        Register(d.key, *d.holder);
    }
}

void CKConfig::ReleaseDefaults() {
    for (const DefaultDator& d : kDefaults) *d.holder = nullptr;
}

IKDator* CKConfig::Find(const std::string& name) const {
    auto it = m_dators.find(name);
    return it == m_dators.end() ? nullptr : it->second.Get();
}

void CKConfig::LoadFile(const char* fileName) {
    FILE* f = platform::OpenFile(fileName, "r");
    if (!f) return;
    std::string line;
    for (int c = std::fgetc(f);; c = std::fgetc(f)) {
        if (c == EOF || c == '\n') {
            ParseLine(line);
            line.clear();
            if (c == EOF) break;
            continue;
        }
        if (line.size() < kMaxLine) line += static_cast<char>(c);
    }
    std::fclose(f);
}

void CKConfig::ParseLine(const std::string& text) {
    if (text.empty()) return;
    std::string rest = text;
    int sign = 0;
    if (rest[0] == '+' || rest[0] == '-') {
        sign = rest[0] == '+' ? 1 : -1;
        rest.erase(0, 1);
    }
    std::string name, value;
    const size_t eq = rest.find('=');
    if (eq != std::string::npos) {
        name = rest.substr(0, eq);
        value = rest.substr(eq + 1);
    } else {
        name = rest;
        char buf[16];
        std::snprintf(buf, sizeof buf, "%i", (sign + 1) / 2);
        value = buf;
    }
    TrimString(name);
    TrimString(value);
    SetValue(name, value, sign);
}

void CKConfig::SetValue(const std::string& name, const std::string& value, int sign) {
    IKDator* dator = Find(name);
    if (!dator) return;
    if (!dator->IsList()) {
        dator->Set(value);
        return;
    }
    size_t start = 0;
    for (;;) {
        const size_t end = value.find(';', start);
        const std::string item = value.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (sign > 0)
            dator->Add(item);
        else if (sign < 0)
            dator->Sub(item);
        else
            dator->Set(item);
        if (end == std::string::npos) break;
        start = end + 1;
    }
}
