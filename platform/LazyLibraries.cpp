// The media libraries (FFmpeg's decoders and encoders, PortAudio, FFTW) and the hundred-odd
// libraries they bring along are loaded at the first call into them, not at start-up: a
// torvane-cli that prints its version or the values of a WAV never maps them, and the editor's
// window shows before them.
//
// Each function the program calls is a two-instruction stub here, which jumps through a slot
// that first points at a loader. The loader maps the function's library group, points every
// slot of the group at the real functions and jumps on, the call's arguments untouched.

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

extern "C" {
#include <libavcodec/version.h>
#include <libavformat/version.h>
#include <libavutil/version.h>
#include <libswresample/version.h>
}

#define TORVANE_SO(name, major) "lib" name ".so." TORVANE_STR(major)
#define TORVANE_STR(x) TORVANE_STR2(x)
#define TORVANE_STR2(x) #x

// Group 0: FFmpeg; 1: PortAudio; 2: FFTW.
#define TORVANE_LAZY_SYMBOLS(X)                                                                                   \
    X(0, av_base64_encode) X(0, av_channel_layout_copy) X(0, av_channel_layout_default)                             \
    X(0, av_channel_layout_uninit) X(0, av_dict_get) X(0, av_dict_set) X(0, av_find_best_stream)                    \
    X(0, av_frame_alloc) X(0, av_frame_free) X(0, av_frame_get_buffer) X(0, av_frame_unref) X(0, av_free)           \
    X(0, av_freep) X(0, av_get_bits_per_sample) X(0, av_get_bytes_per_sample) X(0, av_log_set_level)                \
    X(0, av_malloc) X(0, av_new_packet) X(0, av_opt_set_int) X(0, av_packet_alloc) X(0, av_packet_free)             \
    X(0, av_packet_new_side_data)                                                                                   \
    X(0, av_packet_rescale_ts) X(0, av_packet_unref) X(0, av_read_frame) X(0, av_write_frame)                       \
    X(0, av_write_trailer) X(0, avcodec_alloc_context3) X(0, avcodec_descriptor_get) X(0, avcodec_find_encoder)     \
    X(0, avcodec_find_encoder_by_name) X(0, avcodec_free_context) X(0, avcodec_get_name) X(0, avcodec_open2)        \
    X(0, avcodec_parameters_from_context) X(0, avcodec_parameters_to_context) X(0, avcodec_receive_frame)           \
    X(0, avcodec_receive_packet) X(0, avcodec_send_frame) X(0, avcodec_send_packet)                                 \
    X(0, avformat_alloc_output_context2) X(0, avformat_close_input) X(0, avformat_find_stream_info)                 \
    X(0, avformat_free_context) X(0, avformat_new_stream) X(0, avformat_open_input) X(0, avformat_write_header)     \
    X(0, avio_alloc_context) X(0, avio_context_free) X(0, avio_flush) X(0, swr_alloc_set_opts2) X(0, swr_convert)   \
    X(0, swr_free) X(0, swr_get_out_samples) X(0, swr_init) X(0, swr_set_matrix) X(0, avcodec_find_decoder)         \
    X(1, Pa_CloseStream) X(1, Pa_GetDefaultOutputDevice) X(1, Pa_GetDeviceInfo) X(1, Pa_GetStreamInfo)              \
    X(1, Pa_Initialize) X(1, Pa_IsFormatSupported) X(1, Pa_OpenStream) X(1, Pa_StartStream) X(1, Pa_StopStream)     \
    X(1, Pa_Terminate) X(2, fftwf_alloc_complex) X(2, fftwf_alloc_real) X(2, fftwf_destroy_plan)                    \
    X(2, fftwf_execute_dft_r2c) X(2, fftwf_free) X(2, fftwf_plan_dft_r2c_1d)

// The stub, its slot and the slot's first target for one function. The stubs are hidden: a
// library loaded later never binds to them instead of its own neighbours.
#define TORVANE_STUB(group, name)                                                                                 \
    ".text\n.globl " #name "\n.hidden " #name "\n.type " #name ",@function\n" #name ":\n"                          \
    "\tjmp *torvane_slot_" #name "(%rip)\n"                                                                        \
    "torvane_load_" #name ":\n\tlea torvane_slot_" #name "(%rip), %r11\n\tjmp torvane_lazy_enter\n"                \
    ".data\n.balign 8\n.globl torvane_slot_" #name "\n.hidden torvane_slot_" #name "\ntorvane_slot_" #name          \
    ":\n\t.quad torvane_load_" #name "\n"

// Keeps every argument register (and %rax, the count of vector arguments of a variadic call)
// across the load, then jumps to the function the slot now holds.
asm(".text\n"
    "torvane_lazy_enter:\n"
    "\tpush %rdi\n\tpush %rsi\n\tpush %rdx\n\tpush %rcx\n\tpush %r8\n\tpush %r9\n\tpush %rax\n\tpush %r11\n"
    "\tsub $136, %rsp\n"
    "\tmovdqu %xmm0, 0(%rsp)\n\tmovdqu %xmm1, 16(%rsp)\n\tmovdqu %xmm2, 32(%rsp)\n\tmovdqu %xmm3, 48(%rsp)\n"
    "\tmovdqu %xmm4, 64(%rsp)\n\tmovdqu %xmm5, 80(%rsp)\n\tmovdqu %xmm6, 96(%rsp)\n\tmovdqu %xmm7, 112(%rsp)\n"
    "\tmov %r11, %rdi\n"
    "\tcall torvane_lazy_load\n"
    "\tmovdqu 0(%rsp), %xmm0\n\tmovdqu 16(%rsp), %xmm1\n\tmovdqu 32(%rsp), %xmm2\n\tmovdqu 48(%rsp), %xmm3\n"
    "\tmovdqu 64(%rsp), %xmm4\n\tmovdqu 80(%rsp), %xmm5\n\tmovdqu 96(%rsp), %xmm6\n\tmovdqu 112(%rsp), %xmm7\n"
    "\tadd $136, %rsp\n"
    "\tpop %r11\n\tpop %rax\n\tpop %r9\n\tpop %r8\n\tpop %rcx\n\tpop %rdx\n\tpop %rsi\n\tpop %rdi\n"
    "\tjmp *(%r11)\n"
    TORVANE_LAZY_SYMBOLS(TORVANE_STUB)
    ".text\n");

#define TORVANE_DECLARE_SLOT(group, name) extern __attribute__((visibility("hidden"))) void* torvane_slot_##name;
extern "C" {
TORVANE_LAZY_SYMBOLS(TORVANE_DECLARE_SLOT)
void torvane_lazy_load(void** slot);
}

namespace {

struct Symbol {
    int group;
    const char* name;
    void** slot;
};

#define TORVANE_SYMBOL_ENTRY(group, name) {group, #name, &torvane_slot_##name},
const Symbol kSymbols[] = {TORVANE_LAZY_SYMBOLS(TORVANE_SYMBOL_ENTRY)};

// Each group's libraries, those others need first.
const char* const kGroups[][4] = {
    {TORVANE_SO("avutil", LIBAVUTIL_VERSION_MAJOR), TORVANE_SO("swresample", LIBSWRESAMPLE_VERSION_MAJOR),
     TORVANE_SO("avcodec", LIBAVCODEC_VERSION_MAJOR), TORVANE_SO("avformat", LIBAVFORMAT_VERSION_MAJOR)},
    {"libportaudio.so.2", nullptr, nullptr, nullptr},
    {"libfftw3f.so.3", nullptr, nullptr, nullptr},
};

[[noreturn]] void cannotLoad(const std::string& what) {
    // Without them the program cannot go on; it was installed without one of its packages.
    std::fprintf(stderr, "torvane: cannot load %s\n", what.c_str());
    std::abort();
}

}  // namespace

extern "C" void torvane_lazy_load(void** slot) {
    static std::mutex mutex;
    const std::lock_guard<std::mutex> lock(mutex);
    int group = -1;
    for (const Symbol& s : kSymbols)
        if (s.slot == slot) group = s.group;
    if (group < 0) cannotLoad("an unknown function");
    void* handles[4] = {};
    for (int i = 0; i < 4 && kGroups[group][i]; ++i) {
        handles[i] = ::dlopen(kGroups[group][i], RTLD_NOW | RTLD_GLOBAL);
        if (!handles[i]) cannotLoad(::dlerror());
    }
    for (const Symbol& s : kSymbols) {
        if (s.group != group) continue;
        void* address = nullptr;
        for (int i = 0; i < 4 && !address && handles[i]; ++i) address = ::dlsym(handles[i], s.name);
        if (!address) cannotLoad(s.name);
        __atomic_store_n(s.slot, address, __ATOMIC_RELEASE);
    }
}
