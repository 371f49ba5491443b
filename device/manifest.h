/* The pack's manifest.json: what to run and what each run must produce,
   as `./zeb pack` wrote it. */
#ifndef ZEB_MANIFEST_H
#define ZEB_MANIFEST_H
#include <stddef.h>

#include "judge.h"
#include "json.h"

#define MANIFEST_FORMAT 1

typedef struct {
    char *name;
    char *program;       /* the program's file, relative to the pack; NULL when it was not built */
    char *not_built;     /* why not ("not built: ..."), when it was not */
    char **args;
    int nargs;
    unsigned long status;
    ExpectedLine *lines;
    size_t nlines;
    double timeout;
} RunSpec;

typedef struct {
    JsonValue *root;             /* owns everything below */
    const JsonValue *platform;   /* name, description, platform_file, ..., tools */
    const char *platform_name;
    int text_mode;
    RunSpec *runs;
    size_t nruns;
    Known *known;
    size_t nknown;
} Manifest;

/* Reads PATH; 0 with a one-line message in ERROR when it cannot be used. */
int manifest_load(const char *path, Manifest *m, char *error, size_t error_size);
const Known *manifest_known(const Manifest *m, const char *name);
#endif
