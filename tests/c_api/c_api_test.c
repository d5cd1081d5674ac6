/* The C API called from strict C99 against the shared library: every shape of
 * put and get, the memory and file round trips, and the inspection calls of
 * inspect_c.h with good and bad input. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "kvset/ctkvs.h"
#include "kvset/inspect_c.h"

static int checks = 0;
static int failures = 0;

static void check(int ok, const char *what, const char *file, int line)
{
    ++checks;
    if (!ok) {
        fprintf(stderr, "%s:%d: expected %s\n", file, line, what);
        ++failures;
    }
}

#define EXPECT(cond) check((cond) ? 1 : 0, #cond, __FILE__, __LINE__)
/* A call that must answer status 0 with CT_errorOK. */
#define EXPECT_OK(call) EXPECT((call) == CT_statusOK && error == CT_errorOK)
/* A call that must fail with this status and error symbol. */
#define EXPECT_FAIL(call, status, symbol) EXPECT((call) == (status) && error == (symbol))

static int holds(const char *text, const char *part)
{
    int found = text != NULL && strstr(text, part) != NULL;
    if (!found) fprintf(stderr, "  text \"%s\" lacks \"%s\"\n", text ? text : "(null)", part);
    return found;
}

/* Text from inspect_c.h that holds `part`; released here. */
static int text_holds(char *text, const char *part)
{
    int found = holds(text, part);
    MRQkvs_FreeText(text);
    return found;
}

/* ---- Every shape of put and get ------------------------------------------ */

typedef CTstatus (*PutWord)(CTkvs, CTsymbol, uint32_t, CTerror *);
typedef CTstatus (*GetWord)(CTkvs, CTsymbol, uint32_t *, CTerror *);
typedef CTstatus (*PutWords)(CTkvs, CTsymbol, const uint32_t *, uint32_t, CTerror *);
typedef CTstatus (*GetWords)(CTkvs, CTsymbol, uint32_t **, int32_t *, CTerror *);

/* The single 32-bit values other than int: each with its own key and value. */
static const struct {
    const char *name;
    PutWord put;
    GetWord get;
    uint32_t value;
} kWords[] = {
    {"bool", CTkvs_PutBool, CTkvs_GetBool, CT_boolTrue},
    {"conference", CTkvs_PutConference, CTkvs_GetConference, 0x11u},
    {"group", CTkvs_PutGroup, CTkvs_GetGroup, 0x12u},
    {"mode", CTkvs_PutMode, CTkvs_GetMode, CT_modeSync},
    {"session", CTkvs_PutSession, CTkvs_GetSession, 0x14u},
    {"service", CTkvs_PutService, CTkvs_GetService, 0x15u},
    {"status", CTkvs_PutStatus, CTkvs_GetStatus, CT_statusWarning},
    {"symbol", CTkvs_PutSymbol, CTkvs_GetSymbol, 0x0941106Du},
    {"time", CTkvs_PutTime, CTkvs_GetTime, 0xFFFFFFFFu},
    {"uint", CTkvs_PutUint, CTkvs_GetUint, 0x80000000u},
    {"stream", CTkvs_PutStream, CTkvs_GetStream, 0x19u},
    {"connection", CTkvs_PutConnection, CTkvs_GetConnection, 0x1Au},
};

/* The arrays of 32-bit words other than int. */
static const struct {
    const char *name;
    PutWords put;
    GetWords get;
} kWordArrays[] = {
    {"bool[]", CTkvs_PutBoolArray, CTkvs_GetBoolArray},
    {"conference[]", CTkvs_PutCONFArray, CTkvs_GetCONFArray},
    {"group[]", CTkvs_PutGroupArray, CTkvs_GetGroupArray},
    {"mode[]", CTkvs_PutModeArray, CTkvs_GetModeArray},
    {"session[]", CTkvs_PutSessionArray, CTkvs_GetSessionArray},
    {"service[]", CTkvs_PutServiceArray, CTkvs_GetSrvArray},
    {"status[]", CTkvs_PutStatusArray, CTkvs_GetStatusArray},
    {"symbol[]", CTkvs_PutSymbolArray, CTkvs_GetSymbolArray},
    {"error[]", CTkvs_PutErrorArray, CTkvs_GetErrorArray},
    {"connection[]", CTkvs_PutCONNArray, CTkvs_GetCONNArray},
    {"uint[]", CTkvs_PutUintArray, CTkvs_GetUintArray},
    {"time[]", CTkvs_PutTimeArray, CTkvs_GetTimeArray},
};

#define COUNT(array) ((uint32_t)(sizeof(array) / sizeof((array)[0])))

#define KEY_WORD(i)       ((CTsymbol)(0x1000u + (i)))
#define KEY_WORD_ARRAY(i) ((CTsymbol)(0x2000u + (i)))
#define KEY_INT           ((CTsymbol)0x3001u)
#define KEY_ERROR         ((CTsymbol)0x3002u)
#define KEY_CHAR          ((CTsymbol)0x3003u)
#define KEY_RANGE         ((CTsymbol)0x3004u)
#define KEY_STRING        ((CTsymbol)0x3005u)
#define KEY_NESTED        ((CTsymbol)0x3006u)
#define KEY_INTS          ((CTsymbol)0x3007u)
#define KEY_BYTES         ((CTsymbol)0x3008u)
#define KEY_RANGES        ((CTsymbol)0x3009u)
#define KEY_STRINGS       ((CTsymbol)0x300Au)
#define KEY_SETS          ((CTsymbol)0x300Bu)
#define KEY_INNER         ((CTsymbol)0x4001u)

static const uint32_t kArrayWords[3] = {1u, 0u, 0xFFFFFFFFu};
static const int32_t kInts[3] = {-2147483647 - 1, 0, 2147483647};
static const uint8_t kBytes[4] = {0x00u, 0x7Fu, 0x80u, 0xFFu};
static const struct_Irange kRanges[2] = {{-5, 5}, {100, 200}};
/* A string with a character above U+FFFF, which travels as a surrogate pair. */
static const wchar_t kString[] = L"caf\u00e9 \U0001F600";

/* A set with one pair: the nested set and the elements of the KV-Set array. */
static CTkvs inner_set(int32_t value)
{
    CTkvs inner = 0;
    CTerror error = 0;
    EXPECT_OK(CTkvs_Create(&inner, &error));
    EXPECT_OK(CTkvs_PutInt(inner, KEY_INNER, value, &error));
    return inner;
}

static int inner_holds(CTkvs inner, int32_t value)
{
    int32_t got = 0;
    CTerror error = 0;
    return CTkvs_GetInt(inner, KEY_INNER, &got, &error) == CT_statusOK && got == value;
}

static void put_every_shape(CTkvs kvs)
{
    CTerror error = 0;
    uint32_t i;
    const wchar_t *strings[3] = {L"one", NULL, kString};
    CTkvs nested = inner_set(7);
    CTkvs sets[2];
    sets[0] = inner_set(1);
    sets[1] = inner_set(2);

    for (i = 0; i < COUNT(kWords); ++i) EXPECT_OK(kWords[i].put(kvs, KEY_WORD(i), kWords[i].value, &error));
    for (i = 0; i < COUNT(kWordArrays); ++i)
        EXPECT_OK(kWordArrays[i].put(kvs, KEY_WORD_ARRAY(i), kArrayWords, 3, &error));
    EXPECT_OK(CTkvs_PutInt(kvs, KEY_INT, -42, &error));
    EXPECT_OK(CTkvs_PutError(kvs, KEY_ERROR, CT_errorNoSuchKey, &error));
    EXPECT_OK(CTkvs_PutChar(kvs, KEY_CHAR, 0xD83Du, &error));
    EXPECT_OK(CTkvs_PutIrange(kvs, KEY_RANGE, -1, 1, &error));
    EXPECT_OK(CTkvs_PutString(kvs, KEY_STRING, kString, &error));
    EXPECT_OK(CTkvs_PutKVS(kvs, KEY_NESTED, nested, &error));
    EXPECT_OK(CTkvs_PutIntArray(kvs, KEY_INTS, kInts, 3, &error));
    EXPECT_OK(CTkvs_PutByteArray(kvs, KEY_BYTES, kBytes, 4, &error));
    EXPECT_OK(CTkvs_PutIrangeArray(kvs, KEY_RANGES, kRanges, 2, &error));
    EXPECT_OK(CTkvs_PutStringArray(kvs, KEY_STRINGS, strings, 3, &error));
    EXPECT_OK(CTkvs_PutKVSArray(kvs, KEY_SETS, sets, 2, &error));

    /* Puts copy: the caller's sets are its own to destroy. */
    EXPECT_OK(CTkvs_Destroy(nested, &error));
    EXPECT_OK(CTkvs_Destroy(sets[0], &error));
    EXPECT_OK(CTkvs_Destroy(sets[1], &error));
}

/* Checks every pair that put_every_shape stores, each read with its own get. */
static void expect_every_shape(CTkvs kvs, const char *where)
{
    CTerror error = 0;
    uint32_t i, word = 0;
    int32_t value = 0, count = 0;
    uint16_t ch = 0;
    struct_Irange range = {0, 0};
    wchar_t *text = NULL;
    CTkvs nested = 0;
    uint32_t *words = NULL;
    int32_t *ints = NULL;
    uint8_t *bytes = NULL;
    struct_Irange *ranges = NULL;
    wchar_t **strings = NULL;
    CTkvs *sets = NULL;
    int before = failures;

    for (i = 0; i < COUNT(kWords); ++i) {
        EXPECT_OK(kWords[i].get(kvs, KEY_WORD(i), &word, &error));
        EXPECT(word == kWords[i].value);
    }
    for (i = 0; i < COUNT(kWordArrays); ++i) {
        words = NULL;
        EXPECT_OK(kWordArrays[i].get(kvs, KEY_WORD_ARRAY(i), &words, &count, &error));
        EXPECT(count == 3 && words != NULL && memcmp(words, kArrayWords, sizeof kArrayWords) == 0);
    }
    EXPECT_OK(CTkvs_GetInt(kvs, KEY_INT, &value, &error));
    EXPECT(value == -42);
    EXPECT_OK(CTkvs_GetSymbol(kvs, KEY_ERROR, &word, &error)); /* errors are stored as symbols */
    EXPECT(word == CT_errorNoSuchKey);
    EXPECT_OK(CTkvs_GetChar(kvs, KEY_CHAR, &ch, &error));
    EXPECT(ch == 0xD83Du);
    EXPECT_OK(CTkvs_GetIrange(kvs, KEY_RANGE, &range, &error));
    EXPECT(range.lower == -1 && range.upper == 1);
    EXPECT_OK(CTkvs_GetString(kvs, KEY_STRING, &text, &error));
    EXPECT(text != NULL && wcscmp(text, kString) == 0);
    EXPECT_OK(CTkvs_GetKVS(kvs, KEY_NESTED, &nested, &error));
    EXPECT(inner_holds(nested, 7));
    EXPECT_OK(CTkvs_GetIntArray(kvs, KEY_INTS, &ints, &count, &error));
    EXPECT(count == 3 && ints != NULL && memcmp(ints, kInts, sizeof kInts) == 0);
    EXPECT_OK(CTkvs_GetByteArray(kvs, KEY_BYTES, &bytes, &count, &error));
    EXPECT(count == 4 && bytes != NULL && memcmp(bytes, kBytes, sizeof kBytes) == 0);
    EXPECT_OK(CTkvs_GetIrangeArray(kvs, KEY_RANGES, &ranges, &count, &error));
    EXPECT(count == 2 && ranges != NULL && ranges[1].lower == 100 && ranges[1].upper == 200);
    EXPECT_OK(CTkvs_GetStringArray(kvs, KEY_STRINGS, &strings, &count, &error));
    EXPECT(count == 3 && strings != NULL && wcscmp(strings[0], L"one") == 0 && strings[1] == NULL &&
           wcscmp(strings[2], kString) == 0);
    EXPECT_OK(CTkvs_GetKVSArray(kvs, KEY_SETS, &sets, &count, &error));
    EXPECT(count == 2 && sets != NULL && inner_holds(sets[0], 1) && inner_holds(sets[1], 2));

    /* A get of another type finds nothing. */
    EXPECT_FAIL(CTkvs_GetUint(kvs, KEY_INT, &word, &error), CT_statusWarning, CT_errorNoSuchKey);
    if (failures != before) fprintf(stderr, "  (in %s)\n", where);
}

static CTkvs new_set(void)
{
    CTkvs kvs = 0;
    CTerror error = 0;
    EXPECT_OK(CTkvs_Create(&kvs, &error));
    return kvs;
}

static void destroy(CTkvs kvs)
{
    CTerror error = 0;
    EXPECT_OK(CTkvs_Destroy(kvs, &error));
}

static int same_sets(CTkvs a, CTkvs b)
{
    uint32_t same = 0;
    CTerror error = 0;
    return CTkvs_Match(a, b, &same, &error) == CT_statusOK && same == 1;
}

/* ---- Serialisation round trips ------------------------------------------- */

static void test_memory_round_trip(CTkvs original)
{
    CTerror error = 0;
    uint8_t *buffer = NULL;
    uint32_t length = 0;
    CTkvs bare = new_set(), framed = new_set();

    EXPECT_OK(MRQkvs_WriteToMemory(&buffer, original, &length, &error));
    EXPECT(buffer != NULL && length > 12);
    /* The block starts 8 bytes into the buffer, after the magic and length. */
    EXPECT_OK(MRQkvs_ReadFromMemory(bare, buffer + 8, length - 8, &error));
    expect_every_shape(bare, "a set read from memory");
    EXPECT(same_sets(bare, original));
    /* The framed reader takes the buffer as it came. */
    EXPECT_OK(MRQkvs_ReadFramedBuffer(framed, buffer, length, &error));
    expect_every_shape(framed, "a set read from a framed buffer");
    EXPECT(same_sets(framed, original));
    MRQkvs_FreeBuffer(buffer);
    destroy(bare);
    destroy(framed);
}

static void test_file_round_trip(CTkvs original)
{
    CTerror error = 0;
    CTkvs back = new_set();

    EXPECT_OK(CTkvs_WriteFile(original, L"c_api_test.kvsf", 0, &error));
    EXPECT_OK(CTkvs_ReadFile(back, L"c_api_test.kvsf", 0, &error));
    expect_every_shape(back, "a set read from a file");
    EXPECT(same_sets(back, original));
    destroy(back);
    remove("c_api_test.kvsf");
}

/* ---- Inspection ---------------------------------------------------------- */

static void store_le32(uint8_t *at, uint32_t value)
{
    at[0] = (uint8_t)value;
    at[1] = (uint8_t)(value >> 8);
    at[2] = (uint8_t)(value >> 16);
    at[3] = (uint8_t)(value >> 24);
}

/* A copy of buffer with a 32-bit word changed at `offset` (from the end when
 * negative); the caller frees it. */
static uint8_t *with_word(const uint8_t *buffer, uint32_t length, long offset, uint32_t word)
{
    uint8_t *copy = (uint8_t *)malloc(length);
    if (copy == NULL) return NULL;
    memcpy(copy, buffer, length);
    store_le32(copy + (offset < 0 ? (long)length + offset : offset), word);
    return copy;
}

static void test_validate(CTkvs original)
{
    CTerror error = 0;
    uint8_t *buffer = NULL, *bad = NULL;
    uint32_t length = 0;
    size_t offset = 99;
    char *text = NULL;

    EXPECT_OK(MRQkvs_WriteToMemory(&buffer, original, &length, &error));
    EXPECT(MRQkvs_ValidateBlock(buffer, length, KV_BLOCK_AUTO, &offset, &text) == CT_statusOK);
    EXPECT(offset == 0 && text == NULL);
    EXPECT(MRQkvs_ValidateBlock(buffer, length, KV_BLOCK_MEMORY, NULL, NULL) == CT_statusOK);

    /* The first record's type code (after the 8 frame bytes, the 13-byte
     * marker and the pair count) made unknown: the fault is found there. */
    bad = with_word(buffer, length, 8 + 13 + 4, 999u);
    EXPECT(MRQkvs_ValidateBlock(bad, length, KV_BLOCK_AUTO, &offset, &text) == CT_statusFail);
    EXPECT(offset == 25);
    EXPECT(text_holds(text, "memory buffer: offset "));
    free(bad);

    /* A frame trailer that is wrong is found where it stands. */
    bad = with_word(buffer, length, -4, 0u);
    EXPECT(MRQkvs_ValidateBlock(bad, length, KV_BLOCK_MEMORY, &offset, &text) == CT_statusFail);
    EXPECT(offset == length - 4);
    EXPECT(text_holds(text, "frame trailer"));
    free(bad);

    /* A memory buffer is not a file block. */
    EXPECT(MRQkvs_ValidateBlock(buffer, length, KV_BLOCK_FILE, &offset, &text) == CT_statusFail);
    EXPECT(text_holds(text, "file block: offset "));
    /* Short input, no input, and a format that does not exist. */
    EXPECT(MRQkvs_ValidateBlock(buffer, 6, KV_BLOCK_AUTO, &offset, &text) == CT_statusFail);
    EXPECT(text_holds(text, "offset"));
    EXPECT(MRQkvs_ValidateBlock(NULL, 10, KV_BLOCK_AUTO, &offset, &text) == CT_statusFail);
    EXPECT(text_holds(text, "no input"));
    EXPECT(MRQkvs_ValidateBlock(buffer, length, 7, &offset, &text) == CT_statusFail);
    EXPECT(text_holds(text, "unknown block format 7"));
    MRQkvs_FreeBuffer(buffer);
}

static void test_json(CTkvs original)
{
    char *json = NULL, *again = NULL, *text = NULL;
    CTkvs built = 0;

    EXPECT(MRQkvs_ToJson(original, &json, &text) == CT_statusOK && text == NULL);
    EXPECT(json != NULL && json[0] == '[');
    EXPECT(MRQkvs_FromJson(json, &built, &text) == CT_statusOK && built != 0 && text == NULL);
    expect_every_shape(built, "a set built from JSON");
    EXPECT(same_sets(built, original));
    /* The text is canonical: the rebuilt set gives it back unchanged. */
    EXPECT(MRQkvs_ToJson(built, &again, NULL) == CT_statusOK);
    EXPECT(json != NULL && again != NULL && strcmp(json, again) == 0);
    MRQkvs_FreeText(json);
    MRQkvs_FreeText(again);
    destroy(built);

    /* Refused text names where it went wrong and registers nothing. */
    {
        uint32_t sets = MRQkvs_GetNumKVS();
        built = 5;
        EXPECT(MRQkvs_FromJson("[{\"key\": \"0x00000001\", \"type\": \"CTint\", \"value\": \"x\"}]", &built,
                               &text) == CT_statusFail);
        EXPECT(built == 0 && MRQkvs_GetNumKVS() == sets);
        EXPECT(text_holds(text, "$[0].value"));
        EXPECT(MRQkvs_FromJson("[", &built, &text) == CT_statusFail);
        EXPECT(text_holds(text, "$"));
    }
    EXPECT(MRQkvs_FromJson(NULL, &built, &text) == CT_statusFail);
    EXPECT(text_holds(text, "no JSON text"));
    EXPECT(MRQkvs_FromJson("[]", NULL, &text) == CT_statusFail);
    EXPECT(text_holds(text, "no output handle"));
    EXPECT(MRQkvs_ToJson(original, NULL, &text) == CT_statusFail);
    EXPECT(text_holds(text, "no output text"));
    json = (char *)"stale";
    EXPECT(MRQkvs_ToJson(0, &json, &text) == CT_statusFail && json == NULL);
    EXPECT(text_holds(text, "not a valid KV-Set"));
}

static void test_tree(CTkvs original)
{
    char *tree = NULL, *text = NULL;

    EXPECT(MRQkvs_RenderTree(original, &tree, &text) == CT_statusOK && text == NULL);
    /* The pair, then the pair of the nested set indented below it. */
    EXPECT(holds(tree, "0x00003006 (CTkvs_ct): 1 pair\n  0x00004001 (CTint): 7\n"));
    EXPECT(text_holds(tree, "0x00003001 (CTint): -42\n"));
    EXPECT(MRQkvs_RenderTree(0, &tree, &text) == CT_statusFail && tree == NULL);
    EXPECT(text_holds(text, "not a valid KV-Set"));
}

static void test_names(void)
{
    char name[32];
    char small[4];

    EXPECT(MRQkvs_TypeName(KV_TYPE_INT_ARRAY, name, sizeof name) == 7 && strcmp(name, "CTint[]") == 0);
    EXPECT(MRQkvs_TypeName(999, name, sizeof name) == 8 && strcmp(name, "type 999") == 0);
    EXPECT(MRQkvs_ErrorName(CT_errorBadFormat, name, sizeof name) == 17 &&
           strcmp(name, "CT_errorBadFormat") == 0);
    EXPECT(MRQkvs_ErrorName(0x12345678u, name, sizeof name) == 10 && strcmp(name, "0x12345678") == 0);
    /* Cut to the buffer, always terminated; size 0 only measures. */
    EXPECT(MRQkvs_ErrorName(CT_errorBadFormat, small, sizeof small) == 17 && strcmp(small, "CT_") == 0);
    EXPECT(MRQkvs_TypeName(KV_TYPE_INT, NULL, 0) == 5);
}

static void test_framed_reader_refusals(void)
{
    CTerror error = 0;
    CTkvs kvs = new_set(), source = inner_set(3);
    uint8_t *buffer = NULL, *bad = NULL;
    uint32_t length = 0, i;
    struct {
        const char *what;
        long offset; /* of the word changed; from the end when negative */
        uint32_t word;
    } frames[] = {
        {"magic", 0, 0xC0DEA1DBu},
        {"length field too large", 4, 0},
        {"length field too small", 4, 0},
        {"trailer", -4, 0xA138DAD1u},
    };

    EXPECT_OK(MRQkvs_WriteToMemory(&buffer, source, &length, &error));
    frames[1].word = length + 1;
    frames[2].word = length - 1;
    for (i = 0; i < COUNT(frames); ++i) {
        int before = failures;
        bad = with_word(buffer, length, frames[i].offset, frames[i].word);
        EXPECT_FAIL(MRQkvs_ReadFramedBuffer(kvs, bad, length, &error), CT_statusFail, CT_errorBadHeader);
        if (failures != before) fprintf(stderr, "  (frame with a bad %s)\n", frames[i].what);
        free(bad);
    }
    /* A sound frame around a broken block reaches the decoder. */
    bad = with_word(buffer, length, 8, 0u);
    EXPECT_FAIL(MRQkvs_ReadFramedBuffer(kvs, bad, length, &error), CT_statusFail, CT_errorBadFormat);
    free(bad);
    /* Cut short, a bare block, null, a bad handle, no error reference. */
    EXPECT_FAIL(MRQkvs_ReadFramedBuffer(kvs, buffer, length - 1, &error), CT_statusFail, CT_errorBadHeader);
    EXPECT_FAIL(MRQkvs_ReadFramedBuffer(kvs, buffer, 11, &error), CT_statusFail, CT_errorBadHeader);
    EXPECT_FAIL(MRQkvs_ReadFramedBuffer(kvs, buffer + 8, length - 8, &error), CT_statusFail, CT_errorBadHeader);
    EXPECT_FAIL(MRQkvs_ReadFramedBuffer(kvs, NULL, length, &error), CT_statusFail, CT_errorBadParameter);
    EXPECT_FAIL(MRQkvs_ReadFramedBuffer(0, buffer, length, &error), CT_statusFail, CT_errorInvalidKVSet);
    EXPECT(MRQkvs_ReadFramedBuffer(kvs, buffer, length, NULL) == CT_statusFail);
    /* Nothing was read by any of them; the sound buffer then reads. */
    EXPECT(MRQkvs_GetNumPairs(kvs) == 0);
    EXPECT_OK(MRQkvs_ReadFramedBuffer(kvs, buffer, length, &error));
    EXPECT(inner_holds(kvs, 3));

    MRQkvs_FreeBuffer(buffer);
    MRQkvs_FreeText(NULL);
    destroy(kvs);
    destroy(source);
}

int main(void)
{
    uint32_t sets = MRQkvs_GetNumKVS();
    CTkvs original = new_set();

    put_every_shape(original);
    expect_every_shape(original, "the set as put");
    test_memory_round_trip(original);
    test_file_round_trip(original);
    test_validate(original);
    test_json(original);
    test_tree(original);
    test_names();
    test_framed_reader_refusals();
    destroy(original);
    EXPECT(MRQkvs_GetNumKVS() == sets);

    printf("checks: %d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}
