// The texts are UTF-8 throughout: the program runs in the environment's
// locale when that is a UTF-8 one, and in C.UTF-8 otherwise.
#pragma once

namespace talu {

// Call first thing in main, before any thread starts: it may set LC_ALL in
// the environment so that the toolkit's own locale set-up agrees.
void UseUtf8Locale();

}  // namespace talu
