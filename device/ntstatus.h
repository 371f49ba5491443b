/* Names of the exception codes with which a program ends when an exception
   is not handled. */
#ifndef ZEB_NTSTATUS_H
#define ZEB_NTSTATUS_H
/* NULL for a code it does not know. */
const char *ntstatus_name(unsigned long code);
#endif
