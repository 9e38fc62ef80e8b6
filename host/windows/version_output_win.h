// --version for the Windows servers, GUI-subsystem programs without a
// console of their own: the version goes to the standard output the
// program was given (a pipe or a file), else to the console of the process
// that started it, when there is one; else nowhere. The exit status is 0
// either way.
#pragma once

namespace qoinfo::win {

int PrintVersion();

}  // namespace qoinfo::win
