#include "Sound/KWaveFile.h"

#include "platform/dshow/dshow.h"  // CO_E_NOTINITIALIZED

#include <algorithm>
#include <cstring>

namespace {

constexpr FOURCC kWave = mmioFOURCC('W', 'A', 'V', 'E');
constexpr FOURCC kFormat = mmioFOURCC('f', 'm', 't', ' ');
constexpr FOURCC kData = mmioFOURCC('d', 'a', 't', 'a');
constexpr FOURCC kFact = mmioFOURCC('f', 'a', 'c', 't');
constexpr LONG kPcmFormatBytes = 16;

}  // namespace

CKWaveFile::CKWaveFile() = default;

CKWaveFile::~CKWaveFile() {
    Close();
    FreeFormat();
}

void CKWaveFile::FreeFormat() {
    m_formatBytes.clear();
    m_format = nullptr;
}

HRESULT CKWaveFile::Open(const char* name, const WAVEFORMATEX* format, DWORD mode) {
    m_mode = mode;
    if (!name) return E_INVALIDARG;
    if (mode == WAVEFILE_READ) {
        FreeFormat();
        m_size = 0;
        m_inFile = 0;
        m_file = mmioOpenA(const_cast<LPSTR>(name), nullptr, MMIO_ALLOCBUF | MMIO_READ);
        // The game has no WAVE resources to fall back on: a missing file fails.
        if (!m_file) return E_FAIL;
        // A file without its data is refused whole: no format stays behind.
        if (FAILED(ReadHeader()) || FAILED(ResetFile())) {
            mmioClose(m_file, 0);
            m_file = nullptr;
            FreeFormat();
            return E_FAIL;
        }
        m_size = m_chunk.cksize;
        return S_OK;
    }
    if (!format) return E_INVALIDARG;
    m_file = mmioOpenA(const_cast<LPSTR>(name), nullptr, MMIO_ALLOCBUF | MMIO_READWRITE | MMIO_CREATE);
    if (!m_file) return E_FAIL;
    if (FAILED(WriteHeader(*format))) {
        mmioClose(m_file, 0);
        m_file = nullptr;
        return E_FAIL;
    }
    return ResetFile();
}

HRESULT CKWaveFile::ReadHeader() {
    if (mmioDescend(m_file, &m_riff, nullptr, 0) != MMSYSERR_NOERROR) return E_FAIL;
    if (m_riff.ckid != FOURCC_RIFF || m_riff.fccType != kWave) return E_FAIL;
    MMCKINFO chunk{};
    chunk.ckid = kFormat;
    if (mmioDescend(m_file, &chunk, &m_riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) return E_FAIL;
    if (chunk.cksize < static_cast<DWORD>(kPcmFormatBytes)) return E_FAIL;

    WAVEFORMATEX head{};
    if (mmioRead(m_file, reinterpret_cast<char*>(&head), kPcmFormatBytes) != kPcmFormatBytes) return E_FAIL;
    // Any format is returned as the file gives it; the device decides what it
    // plays. A format of 16 bytes has no count of extra bytes (float files
    // often come so): the count is never read from the next chunk.
    WORD extra = 0;
    if (head.wFormatTag != WAVE_FORMAT_PCM && chunk.cksize > static_cast<DWORD>(kPcmFormatBytes)) {
        if (mmioRead(m_file, reinterpret_cast<char*>(&extra), sizeof extra) != sizeof extra) return E_FAIL;
        // The extra bytes must lie within the chunk that declares them.
        if (static_cast<DWORD>(kPcmFormatBytes) + sizeof extra + extra > chunk.cksize) return E_FAIL;
    }
    m_formatBytes.assign(sizeof(WAVEFORMATEX) + extra, 0);
    head.cbSize = extra;
    std::memcpy(m_formatBytes.data(), &head, sizeof head);
    if (extra && mmioRead(m_file, reinterpret_cast<char*>(m_formatBytes.data() + sizeof(WAVEFORMATEX)), extra) !=
                     static_cast<LONG>(extra)) {
        FreeFormat();
        return E_FAIL;
    }
    m_format = reinterpret_cast<WAVEFORMATEX*>(m_formatBytes.data());
    if (mmioAscend(m_file, &chunk, 0) != MMSYSERR_NOERROR) {
        FreeFormat();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CKWaveFile::ResetFile() {
    if (!m_file) return CO_E_NOTINITIALIZED;
    if (m_mode == WAVEFILE_READ) {
        if (mmioSeek(m_file, static_cast<LONG>(m_riff.dwDataOffset + sizeof(FOURCC)), SEEK_SET) == -1) return E_FAIL;
        m_chunk.ckid = kData;
        if (mmioDescend(m_file, &m_chunk, &m_riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) return E_FAIL;
        // A data chunk may claim more than the file holds (a file cut short):
        // its data then ends with the file.
        const LONG here = mmioSeek(m_file, 0, SEEK_CUR);
        const LONG end = mmioSeek(m_file, 0, SEEK_END);
        if (here < 0 || end < 0 || mmioSeek(m_file, here, SEEK_SET) != here) return E_FAIL;
        const uint64_t held = static_cast<uint64_t>(end) - std::min<uint64_t>(m_chunk.dwDataOffset, end);
        m_inFile = static_cast<DWORD>(std::min<uint64_t>(held, m_chunk.cksize));
        return S_OK;
    }
    m_chunk.ckid = kData;
    m_chunk.cksize = 0;
    if (mmioCreateChunk(m_file, &m_chunk, 0) != MMSYSERR_NOERROR) return E_FAIL;
    if (mmioGetInfo(m_file, &m_writeInfo, 0) != MMSYSERR_NOERROR) return E_FAIL;
    return S_OK;
}

HRESULT CKWaveFile::Read(BYTE* buffer, DWORD size, DWORD* read) {
    if (!m_file) return CO_E_NOTINITIALIZED;
    if (!buffer || !read) return E_INVALIDARG;
    *read = 0;
    MMIOINFO info{};
    if (mmioGetInfo(m_file, &info, 0) != MMSYSERR_NOERROR) return E_FAIL;
    const DWORD wanted = size < m_chunk.cksize ? size : m_chunk.cksize;
    DWORD copied = 0;
    bool fileEnded = false;
    while (copied < wanted && !fileEnded) {
        if (info.pchNext == info.pchEndRead) {
            if (mmioAdvance(m_file, &info, MMIO_READ) != MMSYSERR_NOERROR) return E_FAIL;
            fileEnded = info.pchNext == info.pchEndRead;
            continue;
        }
        const DWORD part = std::min<DWORD>(wanted - copied, static_cast<DWORD>(info.pchEndRead - info.pchNext));
        std::memcpy(buffer + copied, info.pchNext, part);
        info.pchNext += part;
        copied += part;
    }
    // A file that ends before its data chunk does ends the data too.
    m_chunk.cksize = fileEnded ? 0 : m_chunk.cksize - copied;
    if (mmioSetInfo(m_file, &info, 0) != MMSYSERR_NOERROR) return E_FAIL;
    *read = copied;
    return S_OK;
}

HRESULT CKWaveFile::WriteHeader(const WAVEFORMATEX& format) {
    m_riff.fccType = kWave;
    m_riff.cksize = 0;
    if (mmioCreateChunk(m_file, &m_riff, MMIO_CREATERIFF) != MMSYSERR_NOERROR) return E_FAIL;

    MMCKINFO chunk{};
    chunk.ckid = kFormat;
    chunk.cksize = kPcmFormatBytes;
    if (mmioCreateChunk(m_file, &chunk, 0) != MMSYSERR_NOERROR) return E_FAIL;
    const LONG bytes = format.wFormatTag == WAVE_FORMAT_PCM ? kPcmFormatBytes
                                                            : static_cast<LONG>(sizeof(WAVEFORMATEX) + format.cbSize);
    if (mmioWrite(m_file, reinterpret_cast<const char*>(&format), bytes) != bytes) return E_FAIL;
    if (mmioAscend(m_file, &chunk, 0) != MMSYSERR_NOERROR) return E_FAIL;

    MMCKINFO fact{};
    fact.ckid = kFact;
    fact.cksize = 0;
    if (mmioCreateChunk(m_file, &fact, 0) != MMSYSERR_NOERROR) return E_FAIL;
    const DWORD unknownLength = 0xFFFFFFFFu;
    if (mmioWrite(m_file, reinterpret_cast<const char*>(&unknownLength), sizeof unknownLength) != sizeof unknownLength)
        return E_FAIL;
    if (mmioAscend(m_file, &fact, 0) != MMSYSERR_NOERROR) return E_FAIL;
    return S_OK;
}

HRESULT CKWaveFile::Close() {
    if (!m_file) return S_OK;
    HRESULT hr = S_OK;
    if (m_mode == WAVEFILE_WRITE) hr = FinishChunks();
    // The file is closed whatever finishing it did.
    mmioClose(m_file, 0);
    m_file = nullptr;
    return hr;
}

HRESULT CKWaveFile::FinishChunks() {
    m_writeInfo.dwFlags |= MMIO_DIRTY;
    if (mmioSetInfo(m_file, &m_writeInfo, 0) != MMSYSERR_NOERROR) return E_FAIL;
    if (mmioAscend(m_file, &m_chunk, 0) != MMSYSERR_NOERROR) return E_FAIL;
    if (mmioAscend(m_file, &m_riff, 0) != MMSYSERR_NOERROR) return E_FAIL;
    if (mmioSeek(m_file, 0, SEEK_SET) == -1) return E_FAIL;
    if (mmioDescend(m_file, &m_riff, nullptr, 0) != MMSYSERR_NOERROR) return E_FAIL;
    MMCKINFO fact{};
    fact.ckid = kFact;
    if (mmioDescend(m_file, &fact, &m_riff, MMIO_FINDCHUNK) == MMSYSERR_NOERROR) {
        const DWORD length = 0;
        if (mmioWrite(m_file, reinterpret_cast<const char*>(&length), sizeof length) != sizeof length) return E_FAIL;
        if (mmioAscend(m_file, &fact, 0) != MMSYSERR_NOERROR) return E_FAIL;
    }
    return mmioAscend(m_file, &m_riff, 0) == MMSYSERR_NOERROR ? S_OK : E_FAIL;
}
