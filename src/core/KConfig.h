// The configuration registry: each key of config.cfg is bound to its global
// variable through a dator, a counted object that converts text to the
// variable's type and back.
#pragma once

#include "core/KMemoryManager.h"

#include <string>
#include <unordered_map>

class IKDator : public IKMMObject {
public:
    virtual void Set(const std::string& text) = 0;
    virtual void Add(const std::string& text) = 0;
    virtual void Sub(const std::string& text) = 0;
    virtual bool Equals(const std::string& text) = 0;
    virtual bool NotEquals(const std::string& text) = 0;
    virtual bool IsList() = 0;
    virtual std::string ToString() = 0;
};

template <class T>
class CKDator : public IKDator {
public:
    // positiveOnly: values of 0 or less are refused (screen sizes).
    explicit CKDator(T* variable, bool positiveOnly = false) : m_variable(variable), m_positiveOnly(positiveOnly) {}

    void Set(const std::string& text) override;
    void Add(const std::string& text) override;
    void Sub(const std::string& text) override;
    bool Equals(const std::string& text) override { return ToString() == text; }
    bool NotEquals(const std::string& text) override { return !Equals(text); }
    bool IsList() override { return false; }
    std::string ToString() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKDator"; }

private:
    // Text that holds no number leaves the variable as it was.
    void Apply(const std::string& text, int sign);

    T* m_variable;
    bool m_positiveOnly;
};

extern template class CKDator<int>;
extern template class CKDator<float>;

class CKConfig {
public:
    CKConfig();
    virtual ~CKConfig();

    void Register(const std::string& name, const CKPtr<IKDator>& dator);
    void RegisterDefaults();
    void ReleaseDefaults();
    void LoadFile(const char* fileName);
    void ParseLine(const std::string& line);
    void SetValue(const std::string& name, const std::string& value, int sign);

    IKDator* Find(const std::string& name) const;

private:
    std::unordered_map<std::string, CKPtr<IKDator>> m_dators;
};

extern CKConfig* g_Config;
