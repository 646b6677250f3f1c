// Loads a program file as the receiver's loader does: check the
// identification header, open the shared object, hand __TAP_Init_ the
// two-slot entry record and take the main and event entries from it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/tap.h"

namespace sim
{

struct ProgramEntries {
    int (*main)(void) = nullptr;
    dword (*eventHandler)(dword event, dword param1, dword param2) = nullptr;
};

using TapInit = int (*)(void *record);

// Reads the ELF section "._tap_header" of a program file (either class, either
// byte order) and checks its "TFAPMIPS" signature.
bool checkTapHeader(const std::filesystem::path &file, std::string *error);

// Calls the init entry with a fresh record and returns what it stored.
ProgramEntries registerEntries(TapInit init);

// dlopens the file (a private copy when `fresh`, so that module state starts
// anew even if the same file was loaded before) and registers it.
std::optional<ProgramEntries> loadProgram(const std::filesystem::path &file, bool fresh, std::string *error);

} // namespace sim
