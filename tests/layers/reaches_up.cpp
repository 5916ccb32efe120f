// Compiled as a layer that names only the story layer: its headers are
// found, and the interpreter layer's, from above, must not be.
#include "core/story/formats.h"
#include "core/interpreter/interpreter.h"
