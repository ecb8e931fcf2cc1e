/* Names an import slot of the program, so a test support file can define it
   ahead of the system's import library. 32-bit imports carry the stdcall
   decoration (argument bytes), 64-bit ones the plain name. */
#ifndef VELMORA_TEST_IMPORT_SLOT_H
#define VELMORA_TEST_IMPORT_SLOT_H

#ifdef _WIN64
#define IMPORT_SLOT(name, argumentBytes) __asm__("__imp_" #name)
#else
#define IMPORT_SLOT(name, argumentBytes) __asm__("__imp__" #name "@" #argumentBytes)
#endif

#endif
