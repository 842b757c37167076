// The scheduler library as a program outside it meets it: a file beside the program (or in the
// lib folder next to the program's bin folder), registered in the registry as the server of its
// classes, and loaded only through activation. Programs call EnsureRegistered before they
// create the scheduler, so a fresh machine or a moved library needs no separate installation
// step. Failures throw AppFailure. One thread at a time.
#pragma once

#include <string>

#include "ZynTaskSchedulerLib/ComPtr.h"
#include "ZynTaskSchedulerLib/ZynTaskSchedulerLib.h"

class SchedulerLibrary {
public:
    // The library that belongs to the running program.
    static SchedulerLibrary BesideProgram();
    explicit SchedulerLibrary(std::wstring file) : m_file(std::move(file)) {}

    const std::wstring& File() const { return m_file; }
    // Whether the scheduler's class is registered with this very file as its server.
    bool IsRegistered() const;
    void Register() const;
    void Unregister() const;
    // Registers unless IsRegistered.
    void EnsureRegistered() const;
    // A new scheduler object, made by activation of its class.
    ComPtr<IZynTaskScheduler> CreateScheduler() const;

private:
    void CallRegistrationEntry(bool registering) const;

    std::wstring m_file;
};
