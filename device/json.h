/* A small, strict JSON reader and the writer's string escaping.  The reader
   takes RFC 8259 JSON only (no comments, no trailing commas), nests at most
   JSON_MAX_DEPTH deep, and says where it stopped: a damaged manifest must
   give one clear line, never a half-read run. */
#ifndef ZEB_JSON_H
#define ZEB_JSON_H
#include <stddef.h>

#include "buf.h"

#define JSON_MAX_DEPTH 32

typedef enum { J_NULL, J_BOOL, J_NUMBER, J_STRING, J_ARRAY, J_OBJECT } JsonType;

typedef struct JsonValue {
    JsonType type;
    int boolean;
    double number;
    char *string;              /* UTF-8, NUL-terminated; may hold NULs (len) */
    size_t len;
    struct JsonValue *items;   /* array items or object values */
    char **keys;               /* object keys, in file order */
    size_t count;
} JsonValue;

/* Parses TEXT (LEN bytes); NULL with a message in ERROR (at most ERROR_SIZE
   bytes) when it is not one JSON value. */
JsonValue *json_parse(const char *text, size_t len, char *error, size_t error_size);
void json_free(JsonValue *v);

/* The member KEY of object V, or NULL (also when V is no object). */
const JsonValue *json_get(const JsonValue *v, const char *key);

/* TEXT as a JSON string, quotes included; bytes that are not UTF-8 become
   U+FFFD, so that what a program printed cannot break the file. */
void json_put_string(Buf *out, const char *text, size_t len);


/* V written back as JSON, compactly. */
void json_put_value(Buf *out, const JsonValue *v);
#endif
