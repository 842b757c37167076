// A named section of memory shared by every process that opens the same name, zero-filled when
// first made. Only the accounts that may write the folder the section guards can use it
// (ObjectAccess, GuardedObject): no other account can map it, truncate it or squat its name. The
// section lives while any process holds it open: the last holder to close it removes the name,
// and a process that dies lets go of its hold. What is stored in it is the users' business
// (atomics, or a lock kept in the section). Opening and closing are thread-safe; the address is
// valid while the object lives.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ObjectAccess.h"
#ifdef _WIN32
#include "platform/KernelHandle.h"
#else
#include "platform/FileDescriptor.h"
#endif

class SharedMemory {
public:
    // Named objects of different kinds never meet, even under the same name.
    enum class Kind { Section, Mutex };

    // Opens the section called `name`, creating it with `access` when no process holds it, and
    // makes sure it has at least `size` bytes. Null, with the last-error value set, when the
    // name is empty or too long (ERROR_INVALID_NAME, ERROR_FILENAME_EXCED_RANGE), `size` is 0
    // (ERROR_INVALID_PARAMETER), the section found is not admitted and may not be replaced
    // (ERROR_ACCESS_DENIED) or the system refuses.
    static std::unique_ptr<SharedMemory> Open(std::wstring_view name, std::size_t size,
                                              const ObjectAccess& access,
                                              Kind kind = Kind::Section);
    ~SharedMemory();
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    void* Address() const { return m_address; }

private:
#ifdef _WIN32
    SharedMemory(KernelHandle section, void* address)
        : m_section(std::move(section)), m_address(address) {}

    KernelHandle m_section;
    void* m_address;
#else
    SharedMemory(std::string systemName, FileDescriptor file, void* address, std::size_t size)
        : m_systemName(std::move(systemName)),
          m_file(std::move(file)),
          m_address(address),
          m_size(size) {}

    std::string m_systemName;
    FileDescriptor m_file;  // holds a shared lock while open: the proof that the section is used
    void* m_address;
    std::size_t m_size;
#endif
};
