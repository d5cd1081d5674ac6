/* Symbol visibility for the KVSet library.
 *
 * The library is built with hidden visibility; only declarations marked
 * KVS_API are exported from libkvset.so. */
#ifndef KVSET_EXPORT_H
#define KVSET_EXPORT_H

#if defined(_WIN32)
#  if defined(KVSET_BUILDING_LIBRARY)
#    define KVS_API __declspec(dllexport)
#  else
#    define KVS_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__) || defined(__clang__)
#  define KVS_API __attribute__((visibility("default")))
#else
#  define KVS_API
#endif

/* Keeps one member of an exported class out of the export table. */
#if defined(__GNUC__) || defined(__clang__)
#  define KVS_LOCAL __attribute__((visibility("hidden")))
#else
#  define KVS_LOCAL
#endif

#endif /* KVSET_EXPORT_H */
