/* The regular expressions that expected output holds in its {{...}} pieces,
   matched as Python's re.fullmatch with re.S does: literals and escapes,
   '.', classes ([a-f0-9], [^x], \d \w \s), groups ((...), (?:...)) with
   '|', and the greedy ? * +.  Matching is by bytes: it is exact for ASCII. */
#ifndef ZEB_REGEX_H
#define ZEB_REGEX_H
#include <stddef.h>

typedef struct Regex Regex;

/* NULL with a message in ERROR when PATTERN uses anything beyond the above. */
Regex *regex_compile(const char *pattern, char *error, size_t error_size);
int regex_fullmatch(const Regex *re, const char *text, size_t len);
void regex_free(Regex *re);
#endif
