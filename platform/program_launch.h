// Starting a program that lives beside this one.
#pragma once

namespace talu::platform {

// Replaces this process with the program of that name in the directory of
// the running executable, with no arguments beyond its own path. Returns
// only when that is not possible.
void ExecSiblingProgram(const char* name);

}  // namespace talu::platform
