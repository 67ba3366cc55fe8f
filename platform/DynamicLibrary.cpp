#include "platform/DynamicLibrary.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace torvane {

std::unique_ptr<DynamicLibrary> DynamicLibrary::open(const std::string& path) {
#ifdef _WIN32
    HMODULE h = LoadLibraryA(path.c_str());
    if (!h) return nullptr;
    return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(reinterpret_cast<void*>(h)));
#else
    // A bare name would make dlopen search the system paths; the program only wants the file
    // at this path.
    std::string where = path;
    if (where.find('/') == std::string::npos) where = "./" + where;
    void* h = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) return nullptr;
    return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(h));
#endif
}

DynamicLibrary::~DynamicLibrary() {
#ifdef _WIN32
    FreeLibrary(reinterpret_cast<HMODULE>(m_handle));
#else
    dlclose(m_handle);
#endif
}

void* DynamicLibrary::symbol(const char* name) const {
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(m_handle), name));
#else
    return dlsym(m_handle, name);
#endif
}

}  // namespace torvane
