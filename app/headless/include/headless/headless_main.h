// Entry of the headless run, called from main() before any window system is
// touched. Returns the process exit code: 0 after a normal end (SIGINT,
// SIGTERM or --quit-after), 1 when a second copy is refused or start-up
// fails, 2 for a bad command line or an unknown task.
#pragma once

namespace headless {

int HeadlessMain(int argc, char** argv);

}  // namespace headless
