// KVSet - an object that owns or borrows one KV-Set handle.
//
// Every method calls the C API (ctkvs.h) with the object's handle and turns a
// failure into a thrown KVSetException(action, key, error symbol): puts throw
// SET, gets GET, each with the method's key; create, destroy, read and write
// throw CREATE, DESTROY, READ and WRITE with key 0.
//
// States: Empty (handle 0), Owning (the object destroys the KV-Set when it
// dies) and Borrowing (it never does). destroy() destroys the KV-Set whether
// or not the object owns it.
//
// Handles are 32-bit. The signatures keep `unsigned long` for source
// compatibility; a value that does not fit in 32 bits is never cut: it is
// passed on as 0, which every operation refuses with CT_errorInvalidKVSet.
// A void* session, service or group above 0xFFFFFFFF is refused with
// KVSetException(SET, key, CT_errorBadParameter).
//
// Values handed out as pointers or handles (getString(key, wchar_t**),
// getKVS, getArrayKVSetElement) are borrowed from the KV-Set: do not free or
// destroy them.
//
// Ownership and the handle. Converting a non-const KVSet to unsigned long
// (`unsigned long h = set;`, `CTkvs h = set;`, or passing the object where a
// handle is expected) hands the duty to destroy the KV-Set over to the
// caller: the object stops owning it, and nothing destroys it unless the
// caller does. To read the handle and keep ownership, call handle(). Calls
// that take a KV-Set have overloads taking `const KVSet &` (putKVS, and
// mrqMakeCallOptionaArgs::setRTC and copy), which overload resolution picks
// for a KVSet argument, const or not: they copy the pairs and never take
// ownership.
#ifndef KVSET_KVSET_CLASS_H
#define KVSET_KVSET_CLASS_H

#include <string>
#include <vector>

#include "kvset/KVSetException.h"
#include "kvset/ctkvs.h"
#include "kvset/export.h"

// Operation modes, stored as a mode value (CTkvs_PutMode). The underlying
// type is fixed, so any 32-bit value passes through unchanged.
enum e_OperationModes : unsigned int { e_modeAsync = CT_modeAsync, e_modeSync = CT_modeSync };

class KVS_API KVSet {
public:
    // Holds nothing.
    KVSet();
    // Takes the handle as given: owning true adopts the KV-Set, false borrows it.
    KVSet(unsigned long handle, bool owning);
    // Deep copy: a new KV-Set that this object owns, holding copies of the
    // other's pairs. If it cannot be made the object holds nothing. Never throws.
    KVSet(const KVSet &other) noexcept;
    // Takes the other's handle and ownership; the other is left holding nothing.
    KVSet(KVSet &&other) noexcept;
    // Destroys the KV-Set when the object owns one; never throws.
    ~KVSet();

    // Copies the handle and the ownership flag as they stand: no pairs are
    // copied and the KV-Set held before is not destroyed. After assigning an
    // owning object both objects own the same KV-Set.
    KVSet &operator=(const KVSet &other);
    // Takes the other's handle and ownership, leaving the other empty. A
    // KV-Set this object owned before is destroyed, unless it is the one taken.
    KVSet &operator=(KVSet &&other) noexcept;

    // The handle; the caller takes over the duty to destroy the KV-Set (the
    // object stops owning it). Read it with handle() to keep ownership.
    operator unsigned long();
    // The handle; ownership is unchanged.
    operator unsigned long() const;
    // The handle (0 when nothing is held); only reads: ownership stays.
    unsigned long handle() const;
    // Stops owning: the KV-Set stays alive and the handle stays here.
    void abandon();

    // Creates a new, empty KV-Set that this object owns; returns its handle.
    // Throws CREATE with code 0 when a KV-Set is already held.
    unsigned long create();
    // Destroys the held KV-Set, owned or not. Throws DESTROY with code 0 when
    // nothing is held; when the store refuses, the object is left unchanged.
    void destroy();
    // Replaces the held KV-Set (owned or not) by one read from a file that
    // write() made; the object then owns the new one. The old KV-Set is
    // destroyed only after the whole file has been read: on any failure the
    // object is left as it was. Throws DESTROY with code 0 when nothing is
    // held (or with the store's error for an invalid handle), READ with code
    // 0 when the file cannot be opened, READ with the reader's error.
    void read(const char *path);
    // Writes the held KV-Set to a file, replacing it whole as CTkvs_WriteFile
    // does (a synced temporary beside it renamed over it; links, permission
    // bits and special files as described there): on any failure the previous
    // file stays as it was. Throws WRITE with the store's error when no valid
    // KV-Set is held, with code 0 when the file cannot be opened, or with the
    // writer's error.
    void write(const char *path);
    // True when nothing is held or the KV-Set has no pairs. Never throws.
    bool isEmpty() const;
    // Dumps the KV-Set to the library's log (MRQkvs_Display).
    void display();

    void putInt(unsigned int key, int value);
    int getInt(unsigned int key) const;
    // Stores the int unchanged; the get writes the stored value back.
    void putBool(unsigned int key, int value);
    void getBool(unsigned int key, int *value) const;
    // Stores 1 or 0; the get is true exactly when the stored value is 1.
    void putBool(unsigned int key, bool value);
    bool getBool(unsigned int key) const;
    void putIRange(unsigned int key, struct_Irange range);
    struct_Irange getIRange(unsigned int key) const;
    // Stores a deep copy of the given KV-Set; the get lends the nested handle.
    // The KVSet overload copies too and leaves the argument's ownership as
    // it was; it is the one chosen for a KVSet argument.
    void putKVS(unsigned int key, unsigned long kvs);
    void putKVS(unsigned int key, const KVSet &kvs);
    unsigned long getKVS(unsigned int key) const;
    void putMode(unsigned int key, e_OperationModes mode);
    e_OperationModes getMode(unsigned int key) const;
    // A null string stores an absent string. The pointer get lends the stored
    // string (null when absent); the std::wstring get returns a copy (empty
    // when absent).
    void putString(unsigned int key, const wchar_t *value);
    void getString(unsigned int key, wchar_t **value) const;
    void putString(unsigned int key, const std::wstring &value);
    std::wstring getString(unsigned int key) const;
    // Converts in the current locale. Text the locale cannot convert throws
    // SET with CT_errorBadParameter; a failed conversion buffer CT_errorNoMemory.
    void putString(unsigned int key, const char *value);
    void putSymbol(unsigned int key, unsigned int symbol);
    unsigned int getSymbol(unsigned int key) const;
    void putService(unsigned int key, void *service);
    void *getService(unsigned int key) const;
    void putSession(unsigned int key, void *session);
    void *getSession(unsigned int key) const;
    void putStatus(unsigned int key, unsigned int status);
    unsigned int getStatus(unsigned int key) const;
    void putStream(unsigned int key, unsigned int stream);
    unsigned int getStream(unsigned int key) const;
    void putGroup(unsigned int key, void *group);
    void *getGroup(unsigned int key) const;

    void putSymbolArray(unsigned int key, const unsigned int *symbols, unsigned int count);
    // Stores an array of `count` new, empty KV-Sets. A negative count throws
    // SET with CT_errorBadParameter.
    void createArray(unsigned int key, int count);
    // The handle at `index` of the stored KV-Set array (borrowed), or 0 when
    // the index is outside the array.
    unsigned long getArrayKVSetElement(unsigned int key, int index) const;
    // Independent copies of the stored KV-Set array, each owned by its
    // element; an element that cannot be copied holds nothing.
    std::vector<KVSet> getKVSArray(unsigned int key) const;

    // The same calls with non-const pointers, as earlier versions exported
    // them; kept for programs built against those. A bare nullptr is
    // ambiguous between the two forms: cast it to the const pointer type.
    void putString(unsigned int key, wchar_t *value);
    void putSymbolArray(unsigned int key, unsigned int *symbols, unsigned int count);

private:
    bool owning;
    unsigned long held;
};

#endif  // KVSET_KVSET_CLASS_H
