#pragma once
// The audio engine the editor is written against. The operations keep the names and
// calling conventions of the BASS 2.4 API the program was designed around, so the rest
// of the code reads the same on every platform; underneath they run on FFmpeg (decoding),
// PortAudio (output) and FFTW (spectrum).

#include <cstdint>

namespace torvane {

using DWORD = std::uint32_t;
using QWORD = std::uint64_t;
using BOOL = int;
using HSTREAM = DWORD;

constexpr DWORD BASS_VERSION = 0x02040100;  // high word 0x0204: the 2.4 interface

// Stream creation flags.
constexpr DWORD BASS_SAMPLE_8BITS = 1;
constexpr DWORD BASS_STREAM_DECODE = 0x200000;

// BASS_ChannelGetLength / GetPosition / SetPosition modes.
constexpr DWORD BASS_POS_BYTE = 0;

// BASS_StreamGetFilePosition modes.
constexpr DWORD BASS_FILEPOS_CURRENT = 0;
constexpr DWORD BASS_FILEPOS_END = 2;

// BASS_ChannelGetData flags.
constexpr DWORD BASS_DATA_FFT1024 = 0x80000002;  // 512 floats
constexpr DWORD BASS_DATA_ERROR = 0xFFFFFFFF;

// BASS_ChannelIsActive results.
constexpr DWORD BASS_ACTIVE_STOPPED = 0;
constexpr DWORD BASS_ACTIVE_PLAYING = 1;
constexpr DWORD BASS_ACTIVE_STALLED = 2;
constexpr DWORD BASS_ACTIVE_PAUSED = 3;

// Error codes (BASS_ErrorGetCode).
constexpr int BASS_OK = 0;
constexpr int BASS_ERROR_MEM = 1;
constexpr int BASS_ERROR_FILEOPEN = 2;
constexpr int BASS_ERROR_HANDLE = 5;
constexpr int BASS_ERROR_FORMAT = 6;
constexpr int BASS_ERROR_POSITION = 7;
constexpr int BASS_ERROR_INIT = 8;
constexpr int BASS_ERROR_ALREADY = 14;
constexpr int BASS_ERROR_ILLPARAM = 20;
constexpr int BASS_ERROR_DEVICE = 23;
constexpr int BASS_ERROR_NOPLAY = 24;
constexpr int BASS_ERROR_NOTAVAIL = 37;
constexpr int BASS_ERROR_DECODE = 38;
constexpr int BASS_ERROR_FILEFORM = 41;
constexpr int BASS_ERROR_ENDED = 45;
constexpr int BASS_ERROR_UNKNOWN = -1;

struct BASS_CHANNELINFO {
    DWORD freq = 0;
    DWORD chans = 0;
    DWORD flags = 0;
    DWORD ctype = 0;
    DWORD origres = 0;
    DWORD plugin = 0;
    DWORD sample = 0;
    const char* filename = nullptr;
};

// Device -1 is the default output device (falling back to a silent real-time output
// when the machine has none); device 0 is the silent real-time output itself.
DWORD BASS_GetVersion();
BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, void* clsid);
BOOL BASS_Free();
int BASS_ErrorGetCode();

// Paths are UTF-8. `mem` must be 0: streams are always created on files.
HSTREAM BASS_StreamCreateFile(BOOL mem, const char* file, QWORD offset, QWORD length, DWORD flags);
HSTREAM BASS_WMA_StreamCreateFile(BOOL mem, const char* file, QWORD offset, QWORD length, DWORD flags);
BOOL BASS_StreamFree(HSTREAM handle);
QWORD BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode);

BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info);
QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode);
QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode);
BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);
double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length);
DWORD BASS_ChannelGetLevel(DWORD handle);
DWORD BASS_ChannelIsActive(DWORD handle);
BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
BOOL BASS_ChannelPause(DWORD handle);
BOOL BASS_ChannelStop(DWORD handle);

}  // namespace torvane
