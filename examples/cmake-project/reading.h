/* Reading item counts from records that may point nowhere. */
#ifndef READING_H
#define READING_H

#define BAD_RECORD 0xE0000042

typedef struct Record {
    const int *count;   /* null or dangling for a damaged record */
} Record;

#ifdef __cplusplus
extern "C" {
#endif
/* The record's count, or -1 when reading it faults. */
int read_count(const Record *record);
/* Raises BAD_RECORD for a negative count. */
void check_count(int count);
#ifdef __cplusplus
}
#endif

#endif
