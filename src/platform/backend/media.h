// The media area of a backend, for the DirectShow stand-in: a stream that
// opens a file from the disk, runs, pauses, stops, seeks, reports that it
// played to its end and takes a gain. Everything DirectShow defines (the
// graph's interfaces and counts, its states, the event queue, the volume
// scale) lives in the shared graph of platform/dshow; a backend only decodes
// and plays.
#pragma once

#include "platform/win32/win32.h"

#include <memory>
#include <string>

namespace platform::media {

// One opened file. A new stream is stopped at 0 with gain 1.
class IMediaStream {
public:
    virtual ~IMediaStream() = default;
    // Plays from Position(); once it reached the end it stays there (no loop).
    virtual void Run() = 0;
    // Pause holds the position; so does Stop, which may also let go of what
    // the stream has queued for the device.
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    // Seconds from the start, clamped to [0, Duration()]; clears Ended().
    virtual void Seek(double seconds) = 0;
    virtual double Position() = 0;
    virtual double Duration() = 0;
    // True once the stream has played to its end since it was opened or
    // last seeked.
    virtual bool Ended() = 0;
    virtual void SetGain(float gain) = 0;
};

class IMediaBackend {
public:
    virtual ~IMediaBackend() = default;
    // Opens an existing file (an on-disk path). Null with *error set when it
    // cannot be played, to one of DirectShow's codes (platform/dshow/dshow.h):
    // VFW_E_UNKNOWN_FILE_TYPE (not a format this backend decodes, or
    // damaged), VFW_E_UNSUPPORTED_STREAM (a layout it does not play),
    // VFW_E_NO_AUDIO_HARDWARE (no playback device).
    virtual std::unique_ptr<IMediaStream> Open(const std::string& path, HRESULT* error) = 0;
};

}  // namespace platform::media
