/* Linkage and visibility of the library's C interface.
 *
 * Every exported function and global of libtelvar is declared between TV_BEGIN_DECLS and
 * TV_END_DECLS (C linkage from C++) and marked TV_EXPORT: the shared library hides every other
 * symbol, so its dynamic symbol table is exactly the interface. */
#ifndef TV_EXPORT_H
#define TV_EXPORT_H

#if defined(TV_BUILDING_LIBRARY)
#define TV_EXPORT __attribute__((visibility("default")))
#else
#define TV_EXPORT
#endif

#ifdef __cplusplus
#define TV_BEGIN_DECLS extern "C" {
#define TV_END_DECLS }
#else
#define TV_BEGIN_DECLS
#define TV_END_DECLS
#endif

#if defined(__GNUC__)
#define TV_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define TV_PRINTF(f, a)
#endif

#endif
