/* Linked into each of Gargoyle's interpreters on Windows: files opened
 * without a mode of "t" or "b" are binary, as on the systems these
 * interpreters were written for. Several read a story or write a save
 * with fopen(name, "r") or "w", which in the C runtime's text mode would
 * turn every CR LF into LF and stop at the first ^Z. Their sources stay as
 * they are. (The standard streams are switched by our Glk library.) The
 * runtime's variable is set, as mingw-w64's binmode.o does: msvcrt.dll
 * has no _set_fmode(). */
#include <fcntl.h>
#include <stdlib.h>

__attribute__((constructor)) static void binary_files(void) {
    _fmode = _O_BINARY;
}
