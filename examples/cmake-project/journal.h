#ifndef JOURNAL_H
#define JOURNAL_H

#ifdef __cplusplus
extern "C" {
#endif
/* Runs check_count on COUNT; returns how many journal entries it made. */
int journal_checked(int count, int *rejected);
#ifdef __cplusplus
}
#endif

#endif
