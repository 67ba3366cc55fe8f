#pragma once
// A shared library loaded at run time (the encoder libraries beside the program), unloaded
// when the object goes.

#include <memory>
#include <string>

namespace torvane {

class DynamicLibrary {
public:
    // Null when the file is missing or cannot be loaded (missing symbols it needs, wrong
    // architecture); every reference is resolved now, so a library that loads is complete.
    static std::unique_ptr<DynamicLibrary> open(const std::string& path);
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // The exported function or variable, or null when the library does not export it.
    void* symbol(const char* name) const;

private:
    explicit DynamicLibrary(void* handle) : m_handle(handle) {}
    void* m_handle;
};

}  // namespace torvane
