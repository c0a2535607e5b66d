// The process's one OpenAL device and context. The audio area's devices and
// the media area's streams each hold it; it is opened by the first of them
// and closed after the last lets go. Its context is current for the whole
// process, so the music thread can use it too.
#pragma once

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <memory>

namespace platform::openal {

class AlDevice {
public:
    // The shared device, opened now if none is; null when OpenAL cannot open
    // the default playback device.
    static std::shared_ptr<AlDevice> Acquire();
    ~AlDevice();
    AlDevice(const AlDevice&) = delete;
    AlDevice& operator=(const AlDevice&) = delete;

    // AL_SOFT_direct_channels: a source's channels go straight to the
    // matching outputs, unpanned.
    bool DirectChannels() const { return m_directChannels; }
    // AL_EXT_FLOAT32: buffers of 32-bit float samples.
    bool FloatFormats() const { return m_floatFormats; }

private:
    AlDevice(ALCdevice* device, ALCcontext* context);
    ALCdevice* m_device;
    ALCcontext* m_context;
    bool m_directChannels = false;
    bool m_floatFormats = false;
};

// Sets up a source for sound that is not placed in space: at the listener,
// moving with it, never attenuated by distance, its channels unpanned where
// the device allows.
void MakeSourceFlat(ALuint source, const AlDevice& device);

}  // namespace platform::openal
