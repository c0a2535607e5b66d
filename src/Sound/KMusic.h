// The music task: one piece at a time from Data\Music, rendered and streamed
// by a filter graph, restarted from its start when it ends while looping.
#pragma once

#include "core/KKernel.h"
#include "platform/dshow/dshow.h"

#include <string>

class CKMusic : public IKTask {
public:
    CKMusic();
    ~CKMusic() override;
    uint32_t GetSize() override { return sizeof(*this); }
    std::string GetClassName() override { return "CKMusic"; }
    bool Start() override;
    void Update() override;
    void Stop() override;
    int32_t GetType() override { return 3; }

    // Loads the piece; with loop set the next Update starts it.
    HRESULT Play(const std::string& name, bool loop);
    HRESULT SetVolume(float volume);
    void ReleaseGraph();

    IGraphBuilder* m_graph = nullptr;
    IMediaControl* m_control = nullptr;
    IMediaEventEx* m_events = nullptr;
    IMediaPosition* m_position = nullptr;
    IBasicAudio* m_audio = nullptr;
    uint8_t m_loop = 0;
    std::string m_name;
    uint8_t m_playing = 0;
    float m_volume = 0.5f;

private:
    void ApplyVolume();
};

CKMusic* GetMusic();
