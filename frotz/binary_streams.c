/* Linked into the Windows dfrotz: switches its standard streams to binary
 * before main() runs. In text mode the C runtime writes every "\n" as
 * CR LF, and the reader would hear a stray CR at the end of each line.
 * Frotz's own sources stay as they are. */
#include <fcntl.h>
#include <io.h>

__attribute__((constructor)) static void binary_streams(void) {
    _setmode(0, _O_BINARY);
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
}
