#include "platform/openal/al_device.h"

#include <mutex>

namespace platform::openal {
namespace {

std::mutex g_mutex;
std::weak_ptr<AlDevice> g_device;

// Enough sources that every buffer the game makes can keep its own, as
// DirectSound makes software buffers while memory lasts: a long sound table
// reaches thousands. OpenAL Soft makes sources only as they are asked for.
constexpr ALCint kMonoSources = 8192;
constexpr ALCint kStereoSources = 4096;

}  // namespace

std::shared_ptr<AlDevice> AlDevice::Acquire() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (std::shared_ptr<AlDevice> open = g_device.lock()) return open;
    ALCdevice* device = alcOpenDevice(nullptr);
    if (!device) return nullptr;
    const ALCint attributes[] = {ALC_MONO_SOURCES, kMonoSources, ALC_STEREO_SOURCES, kStereoSources, 0};
    ALCcontext* context = alcCreateContext(device, attributes);
    if (!context || !alcMakeContextCurrent(context)) {
        if (context) alcDestroyContext(context);
        alcCloseDevice(device);
        return nullptr;
    }
    std::shared_ptr<AlDevice> opened(new AlDevice(device, context));
    g_device = opened;
    return opened;
}

AlDevice::AlDevice(ALCdevice* device, ALCcontext* context) : m_device(device), m_context(context) {
    m_directChannels = alIsExtensionPresent("AL_SOFT_direct_channels") == AL_TRUE;
    m_floatFormats = alIsExtensionPresent("AL_EXT_FLOAT32") == AL_TRUE;
    // DirectSound's distance law: min / (min + rolloff * (distance - min)),
    // the distance held between the buffer's minimum and maximum.
    alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
}

AlDevice::~AlDevice() {
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(m_context);
    alcCloseDevice(m_device);
}

void MakeSourceFlat(ALuint source, const AlDevice& device) {
    alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
    alSource3f(source, AL_POSITION, 0.0f, 0.0f, 0.0f);
    alSource3f(source, AL_VELOCITY, 0.0f, 0.0f, 0.0f);
    alSourcef(source, AL_ROLLOFF_FACTOR, 0.0f);
    if (device.DirectChannels()) alSourcei(source, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
}

}  // namespace platform::openal
