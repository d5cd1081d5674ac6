// KVSet: thin methods over the C API. Each passes the object's handle, and a
// non-zero status becomes a KVSetException with the method's action and key.
#include "kvset/KVSet.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "serial/block_io.h"
#include "store/alloc.h"
#include "store/store.h"

namespace kvs {
namespace {

using Action = KVSetException::Action;

// The handle as the C API takes it. The class keeps `unsigned long`, but
// handles are 32-bit: a value that does not fit is passed as 0, which every
// operation refuses, instead of being cut to some other, valid handle.
CTkvs wire(unsigned long handle)
{
    return static_cast<unsigned long long>(handle) > 0xFFFFFFFFull ? 0 : static_cast<CTkvs>(handle);
}

// Call as two statements (status first): as one call's arguments, `error`
// could be read before the function that writes it has run.
void check(CTstatus status, Action action, unsigned int key, CTerror error)
{
    if (status != CT_statusOK) throw KVSetException(action, key, error);
}

// Calls a put of the C API as fn(handle, key, values..., &error).
template <class Fn, class... Values>
void put(Fn fn, CTkvs kvs, unsigned int key, Values... values)
{
    CTerror error = CT_errorOK;
    const CTstatus status = fn(kvs, key, values..., &error);
    check(status, KVSetException::SET, key, error);
}

// Calls a single-value get of the C API and returns the value copied out.
template <class T, class Fn>
T get(Fn fn, CTkvs kvs, unsigned int key)
{
    T value{};
    CTerror error = CT_errorOK;
    const CTstatus status = fn(kvs, key, &value, &error);
    check(status, KVSetException::GET, key, error);
    return value;
}

// Session, service and group values are 32-bit in the store: a pointer value
// that does not fit is refused, never cut.
std::uint32_t pointer_value(void *pointer, unsigned int key)
{
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(pointer);
    if (static_cast<unsigned long long>(value) > 0xFFFFFFFFull)
        throw KVSetException(KVSetException::SET, key, CT_errorBadParameter);
    return static_cast<std::uint32_t>(value);
}

// The wide-string put (CTkvs_PutString also has a narrow C++ overload).
CTstatus put_wide(CTkvs kvs, CTsymbol key, const wchar_t *value, CTerror *error)
{
    return CTkvs_PutString(kvs, key, value, error);
}

void *as_pointer(std::uint32_t value) { return reinterpret_cast<void *>(static_cast<std::uintptr_t>(value)); }

// Destroys a KV-Set whose result nobody can act on.
void destroy_quietly(CTkvs kvs)
{
    CTerror ignored = CT_errorOK;
    if (kvs != 0) CTkvs_Destroy(kvs, &ignored);
}

}  // namespace
}  // namespace kvs

using namespace kvs;

// ---- Construction, assignment, conversion --------------------------------

KVSet::KVSet() : owning(false), held(0) {}

KVSet::KVSet(unsigned long handle, bool owning) : owning(owning), held(handle) {}

KVSet::KVSet(const KVSet &other) noexcept : owning(true), held(0)
{
    CTkvs made = 0;
    CTerror error = CT_errorOK;
    if (CTkvs_Create(&made, &error) != CT_statusOK) return;
    if (CTkvs_Copy(made, wire(other.held), &error) != CT_statusOK) {
        destroy_quietly(made);
        return;
    }
    held = made;
}

KVSet::KVSet(KVSet &&other) noexcept : owning(other.owning), held(other.held)
{
    other.owning = false;
    other.held = 0;
}

KVSet::~KVSet()
{
    if (owning && held != 0) destroy_quietly(wire(held));
}

KVSet &KVSet::operator=(const KVSet &other)
{
    owning = other.owning;
    held = other.held;
    return *this;
}

KVSet &KVSet::operator=(KVSet &&other) noexcept
{
    if (this == &other) return *this;
    const bool sameSet = held != 0 && held == other.held;
    if (owning && held != 0 && !sameSet) destroy_quietly(wire(held));
    // Two objects may hold the same KV-Set after a copy assignment; the
    // duty to destroy it stays with this object if either had it.
    owning = other.owning || (sameSet && owning);
    held = other.held;
    other.owning = false;
    other.held = 0;
    return *this;
}

KVSet::operator unsigned long()
{
    owning = false;
    return held;
}

KVSet::operator unsigned long() const { return held; }

unsigned long KVSet::handle() const { return held; }

void KVSet::abandon() { owning = false; }

// ---- Lifecycle and whole-set operations ----------------------------------

unsigned long KVSet::create()
{
    if (held != 0) throw KVSetException(KVSetException::CREATE, 0, 0);
    CTkvs made = 0;
    CTerror error = CT_errorOK;
    const CTstatus status = CTkvs_Create(&made, &error);
    check(status, KVSetException::CREATE, 0, error);
    held = made;
    owning = true;
    return held;
}

void KVSet::destroy()
{
    if (held == 0) throw KVSetException(KVSetException::DESTROY, 0, 0);
    CTerror error = CT_errorOK;
    const CTstatus status = CTkvs_Destroy(wire(held), &error);
    check(status, KVSetException::DESTROY, 0, error);
    held = 0;
    owning = false;
}

void KVSet::read(const char *path)
{
    if (held == 0) throw KVSetException(KVSetException::DESTROY, 0, 0);
    // The held KV-Set is checked first, as destroying it would be, but it is
    // replaced only once a whole KV-Set has been read: a missing, unreadable
    // or damaged file leaves the object as it was.
    CTkvs old = wire(held);
    CTerror error = ValidateKVS(old);
    if (error != CT_errorOK) throw KVSetException(KVSetException::DESTROY, 0, error);

    std::FILE *file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr) throw KVSetException(KVSetException::READ, 0, 0);
    CTkvs fresh = 0;
    CTstatus status = CTkvs_Create(&fresh, &error);
    if (status != CT_statusOK) {
        std::fclose(file);
        throw KVSetException(KVSetException::CREATE, 0, error);
    }
    status = ReadKVSBlock(file, fresh, &error);
    std::fclose(file);
    if (status != CT_statusOK) {
        destroy_quietly(fresh);
        throw KVSetException(KVSetException::READ, 0, error);
    }
    status = CTkvs_Destroy(old, &error);
    if (status != CT_statusOK) {
        destroy_quietly(fresh);
        throw KVSetException(KVSetException::DESTROY, 0, error);
    }
    held = fresh;
    owning = true;
}

void KVSet::write(const char *path)
{
    // A KV-Set that cannot be written is refused before the file is touched.
    CTerror error = ValidateKVS(wire(held));
    if (error != CT_errorOK) throw KVSetException(KVSetException::WRITE, 0, error);
    if (path == nullptr) throw KVSetException(KVSetException::WRITE, 0, 0);
    error = WriteKVSFile(path, wire(held));
    if (error == CT_errorFileOpen) throw KVSetException(KVSetException::WRITE, 0, 0);
    if (error != CT_errorOK) throw KVSetException(KVSetException::WRITE, 0, error);
}

void KVSet::display() { MRQkvs_Display(wire(held)); }

bool KVSet::isEmpty() const { return held == 0 || MRQkvs_GetNumPairs(wire(held)) == 0; }

// ---- Typed puts and gets --------------------------------------------------

void KVSet::putInt(unsigned int key, int value) { put(CTkvs_PutInt, wire(held), key, static_cast<int32_t>(value)); }

int KVSet::getInt(unsigned int key) const { return get<int32_t>(CTkvs_GetInt, wire(held), key); }

void KVSet::putBool(unsigned int key, int value)
{
    put(CTkvs_PutBool, wire(held), key, static_cast<uint32_t>(value));
}

void KVSet::getBool(unsigned int key, int *value) const
{
    const uint32_t stored = get<uint32_t>(CTkvs_GetBool, wire(held), key);
    if (value != nullptr) *value = static_cast<int>(stored);
}

void KVSet::putBool(unsigned int key, bool value) { put(CTkvs_PutBool, wire(held), key, value ? 1u : 0u); }

bool KVSet::getBool(unsigned int key) const { return get<uint32_t>(CTkvs_GetBool, wire(held), key) == 1u; }

void KVSet::putIRange(unsigned int key, struct_Irange range)
{
    put(CTkvs_PutIRange, wire(held), key, range.lower, range.upper);
}

struct_Irange KVSet::getIRange(unsigned int key) const { return get<struct_Irange>(CTkvs_GetIRange, wire(held), key); }

void KVSet::putKVS(unsigned int key, unsigned long kvs) { put(CTkvs_PutKVS, wire(held), key, wire(kvs)); }

void KVSet::putKVS(unsigned int key, const KVSet &kvs) { putKVS(key, kvs.held); }

unsigned long KVSet::getKVS(unsigned int key) const { return get<CTkvs>(CTkvs_GetKVS, wire(held), key); }

void KVSet::putMode(unsigned int key, e_OperationModes mode)
{
    put(CTkvs_PutMode, wire(held), key, static_cast<uint32_t>(mode));
}

e_OperationModes KVSet::getMode(unsigned int key) const
{
    return static_cast<e_OperationModes>(get<uint32_t>(CTkvs_GetMode, wire(held), key));
}

void KVSet::putString(unsigned int key, const wchar_t *value) { put(put_wide, wire(held), key, value); }

void KVSet::putString(unsigned int key, wchar_t *value) { putString(key, static_cast<const wchar_t *>(value)); }

void KVSet::getString(unsigned int key, wchar_t **value) const
{
    wchar_t *stored = get<wchar_t *>(CTkvs_GetString, wire(held), key);
    if (value != nullptr) *value = stored;
}

void KVSet::putString(unsigned int key, const std::wstring &value)
{
    put(put_wide, wire(held), key, value.c_str());
}

std::wstring KVSet::getString(unsigned int key) const
{
    const wchar_t *stored = get<wchar_t *>(CTkvs_GetString, wire(held), key);
    std::wstring copy;
    if (stored != nullptr) copy.assign(stored);
    return copy;
}

void KVSet::putString(unsigned int key, const char *value)
{
    if (value == nullptr) {
        put(put_wide, wire(held), key, static_cast<const wchar_t *>(nullptr));
        return;
    }
    wchar_t *wide = nullptr;
    const CTerror widened = kvs::widen_narrow(value, &wide);
    if (widened == CT_errorBadParameter) throw KVSetException(KVSetException::SET, key, widened);
    if (widened != CT_errorOK) throw KVSetException(KVSetException::SET, key, CT_errorNoMemory);
    CTerror error = CT_errorOK;
    const CTstatus status = CTkvs_PutString(wire(held), key, wide, &error);
    kvs::mem_free(wide);
    check(status, KVSetException::SET, key, error);
}

void KVSet::putSymbol(unsigned int key, unsigned int symbol) { put(CTkvs_PutSymbol, wire(held), key, symbol); }

unsigned int KVSet::getSymbol(unsigned int key) const { return get<CTsymbol>(CTkvs_GetSymbol, wire(held), key); }

void KVSet::putService(unsigned int key, void *service)
{
    put(CTkvs_PutService, wire(held), key, pointer_value(service, key));
}

void *KVSet::getService(unsigned int key) const { return as_pointer(get<uint32_t>(CTkvs_GetService, wire(held), key)); }

void KVSet::putSession(unsigned int key, void *session)
{
    put(CTkvs_PutSession, wire(held), key, pointer_value(session, key));
}

void *KVSet::getSession(unsigned int key) const { return as_pointer(get<uint32_t>(CTkvs_GetSession, wire(held), key)); }

void KVSet::putStatus(unsigned int key, unsigned int status) { put(CTkvs_PutStatus, wire(held), key, status); }

unsigned int KVSet::getStatus(unsigned int key) const { return get<CTstatus>(CTkvs_GetStatus, wire(held), key); }

void KVSet::putStream(unsigned int key, unsigned int stream) { put(CTkvs_PutStream, wire(held), key, stream); }

unsigned int KVSet::getStream(unsigned int key) const { return get<uint32_t>(CTkvs_GetStream, wire(held), key); }

void KVSet::putGroup(unsigned int key, void *group)
{
    put(CTkvs_PutGroup, wire(held), key, pointer_value(group, key));
}

void *KVSet::getGroup(unsigned int key) const { return as_pointer(get<uint32_t>(CTkvs_GetGroup, wire(held), key)); }

// ---- Arrays ---------------------------------------------------------------

void KVSet::putSymbolArray(unsigned int key, const unsigned int *symbols, unsigned int count)
{
    put(CTkvs_PutSymbolArray, wire(held), key, static_cast<const CTsymbol *>(symbols), static_cast<uint32_t>(count));
}

void KVSet::putSymbolArray(unsigned int key, unsigned int *symbols, unsigned int count)
{
    putSymbolArray(key, static_cast<const unsigned int *>(symbols), count);
}

void KVSet::createArray(unsigned int key, int count)
{
    if (count < 0) throw KVSetException(KVSetException::SET, key, CT_errorBadParameter);
    const std::size_t n = static_cast<std::size_t>(count);
    CTkvs *slots = nullptr;
    if (n > 0) {
        slots = static_cast<CTkvs *>(kvs::mem_calloc(n, sizeof(CTkvs)));
        if (slots == nullptr) throw KVSetException(KVSetException::SET, key, CT_errorNoMemory);
    }
    // A slot whose create failed would be stored as an empty element, so a
    // failed create ends the attempt and is reported.
    CTerror error = CT_errorOK;
    CTstatus status = CT_statusOK;
    std::size_t made = 0;
    for (; made < n; ++made) {
        status = CTkvs_Create(&slots[made], &error);
        if (status != CT_statusOK) break;
    }
    if (status == CT_statusOK)
        status = CTkvs_PutKVSArray(wire(held), key, slots, static_cast<uint32_t>(n), &error);
    // The store keeps its own copies; the temporaries go either way.
    for (std::size_t i = 0; i < made; ++i) destroy_quietly(slots[i]);
    kvs::mem_free(slots);
    check(status, KVSetException::SET, key, error);
}

unsigned long KVSet::getArrayKVSetElement(unsigned int key, int index) const
{
    CTkvs *elements = nullptr;
    int32_t count = 0;
    CTerror error = CT_errorOK;
    const CTstatus status = CTkvs_GetKVSArray(wire(held), key, &elements, &count, &error);
    check(status, KVSetException::GET, key, error);
    if (index < 0 || index >= count) return 0;
    return elements[index];
}

std::vector<KVSet> KVSet::getKVSArray(unsigned int key) const
{
    CTkvs *elements = nullptr;
    int32_t count = 0;
    CTerror error = CT_errorOK;
    const CTstatus status = CTkvs_GetKVSArray(wire(held), key, &elements, &count, &error);
    check(status, KVSetException::GET, key, error);
    // Built with the sized constructor and move assignment only: the
    // out-of-line growth members of std::vector<KVSet> would otherwise be
    // emitted into, and exported from, the library.
    std::vector<KVSet> copies;
    if (count <= 0) return copies;
    try {
        copies = std::vector<KVSet>(static_cast<std::size_t>(count));
    } catch (const std::bad_alloc &) {
        throw KVSetException(KVSetException::GET, key, CT_errorNoMemory);
    }
    // Each copy is made as the copy constructor makes one, from a borrowed
    // view of the stored element, which stays with this KV-Set.
    for (int32_t i = 0; i < count; ++i) {
        const KVSet stored(elements[i], false);
        copies[static_cast<std::size_t>(i)] = KVSet(stored);
    }
    return copies;
}
