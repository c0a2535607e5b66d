// Small counted objects and tasks for the core's tests.
#pragma once

#include "core/KKernel.h"
#include "core/KLog.h"
#include "core/KMemoryManager.h"

#include <functional>
#include <string>
#include <vector>

class CKTestObject : public IKMMObject {
public:
    explicit CKTestObject(std::vector<std::string>* deaths = nullptr, std::string name = "obj")
        : m_deaths(deaths), m_name(std::move(name)) {}
    ~CKTestObject() override {
        if (m_deaths) m_deaths->push_back(m_name);
    }
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKTestObject"; }

    std::vector<std::string>* m_deaths;
    std::string m_name;
    CKPtr<IKMMObject> m_member;
};

class CKTestTask : public IKTask {
public:
    CKTestTask(std::vector<std::string>* log, std::string name, int priority) : m_log(log), m_name(std::move(name)) {
        m_priority = priority;
    }
    void Update() override {
        if (m_log) m_log->push_back(m_name);
        if (m_onUpdate) m_onUpdate(*this);
    }
    void Stop() override {
        IKTask::Stop();
        if (m_log) m_log->push_back(m_name + " stop");
    }
    bool Start() override { return m_failStart ? false : IKTask::Start(); }
    int32_t GetType() override { return 0; }
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKTestTask"; }

    std::vector<std::string>* m_log;
    std::string m_name;
    bool m_failStart = false;
    std::function<void(CKTestTask&)> m_onUpdate;
};

// Collects what the log is given while it lives.
class LogCapture {
public:
    LogCapture() {
        m_old = CKLog::Instance().SetSink([this](int level, const std::string& text) {
            lines.push_back(text);
            levels.push_back(level);
        });
    }
    ~LogCapture() { CKLog::Instance().SetSink(std::move(m_old)); }
    std::vector<std::string> lines;
    std::vector<int> levels;

private:
    CKLog::Sink m_old;
};
