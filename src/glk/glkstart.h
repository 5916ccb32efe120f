#ifndef GLKSTART_H
#define GLKSTART_H
/* The start-up interface of Unix Glk programs (the glkunix calls), as our
   Glk library provides it. The program defines glkunix_arguments and
   glkunix_startup_code(); the library's main() checks the command line
   against the former and hands it to the latter before calling glk_main(). */
#include "glk.h"

#include <stddef.h> /* NULL, which older Glk programs take from here */

#ifdef __cplusplus
extern "C" {
#endif

/* Older Glk programs (Hugo's) take these from here. */
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define glkunix_arg_End (0)
#define glkunix_arg_ValueFollows (1)
#define glkunix_arg_NoValue (2)
#define glkunix_arg_ValueCanFollow (3)
#define glkunix_arg_NumberValue (4)

typedef struct glkunix_argumentlist_struct {
    char* name; /* "-x", "--long", or "" for the file names */
    int argtype;
    char* desc;
} glkunix_argumentlist_t;

typedef struct glkunix_startup_struct {
    int argc;
    char** argv;
} glkunix_startup_t;

extern glkunix_argumentlist_t glkunix_arguments[];
extern int glkunix_startup_code(glkunix_startup_t* data);

/* Streams opened by path, outside the fileref rules: the story file named
   on the command line. */
extern strid_t glkunix_stream_open_pathname(char* pathname, glui32 textmode, glui32 rock);
extern strid_t glkunix_stream_open_pathname_gen(char* pathname, glui32 writemode, glui32 textmode,
                                                glui32 rock);

/* Accepted for programs that call it; files named by the game stay in the
   working directory whatever the base file. */
extern void glkunix_set_base_file(char* filename);

/* The file a reference names, as an absolute path that the C library's
   fopen() takes, for interpreters that read and write their files
   themselves (TADS, AGiliTy, Alan 2). It lives as long as the reference. */
#define GLKUNIX_FILEREF_GET_FILENAME (1)
#define GLK_MODULE_FILEREF_GET_NAME
extern const char* glkunix_fileref_get_filename(frefid_t fref);

#ifdef __cplusplus
}
#endif

#endif /* GLKSTART_H */
