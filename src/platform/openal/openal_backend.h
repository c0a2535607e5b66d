// The real backend's audio and media areas: OpenAL Soft mixes DirectSound's
// voices and plays music that libsndfile decodes, on one OpenAL device and
// context that both areas share. With no playback device neither area
// opens anything, and the game runs silent and without music.
#pragma once

#include "platform/backend/audio.h"
#include "platform/backend/media.h"

#include <memory>

namespace platform {
std::unique_ptr<audio::IAudioBackend> CreateOpenAlAudioBackend();
std::unique_ptr<media::IMediaBackend> CreateOpenAlMediaBackend();
}  // namespace platform
