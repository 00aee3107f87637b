#include "library/TextInitials.h"

#include <sqlite3.h>

#include <memory>

namespace kelvra::library {

namespace {

// The text index's words: unicode61 with diacritics removed, as the song_text table is made.
// (Its tokens come out case-folded.)
struct Tokenizer {
    fts5_tokenizer methods{};
    Fts5Tokenizer* made = nullptr;
    ~Tokenizer() {
        if (made) methods.xDelete(made);
    }
};

fts5_api* ftsOf(sqlite3* db) {
    fts5_api* api = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &statement, nullptr) != SQLITE_OK)
        return nullptr;
    sqlite3_bind_pointer(statement, 1, &api, "fts5_api_ptr", nullptr);
    sqlite3_step(statement);
    sqlite3_finalize(statement);
    return api;
}

int addWord(void* bits, int, const char* token, int size, int, int) {
    if (size > 0) {
        const int bit = initialBit(QChar(uchar(token[0])));
        if (bit >= 0) *static_cast<std::int64_t*>(bits) |= 1LL << bit;
    }
    return SQLITE_OK;
}

void textInitials(sqlite3_context* context, int count, sqlite3_value** values) {
    auto* tokenizer = static_cast<Tokenizer*>(sqlite3_user_data(context));
    std::int64_t bits = 0;
    for (int i = 0; i < count; ++i) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(values[i]));
        if (!text) continue;
        const int rc = tokenizer->methods.xTokenize(tokenizer->made, &bits, FTS5_TOKENIZE_DOCUMENT,
                                                    text, sqlite3_value_bytes(values[i]), addWord);
        if (rc != SQLITE_OK) {
            sqlite3_result_error_code(context, rc);
            return;
        }
    }
    sqlite3_result_int64(context, bits);
}

}  // namespace

int initialBit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'a' && u <= u'z') return u - u'a';
    if (u >= u'A' && u <= u'Z') return u - u'A';
    if (u >= u'0' && u <= u'9') return 26 + (u - u'0');
    return -1;
}

bool addTextInitials(sqlite3* db) {
    fts5_api* api = ftsOf(db);
    if (!api) return false;
    auto tokenizer = std::make_unique<Tokenizer>();
    void* context = nullptr;
    if (api->xFindTokenizer(api, "unicode61", &context, &tokenizer->methods) != SQLITE_OK)
        return false;
    const char* settings[] = {"remove_diacritics", "2"};
    if (tokenizer->methods.xCreate(context, settings, 2, &tokenizer->made) != SQLITE_OK)
        return false;
    return sqlite3_create_function_v2(
               db, "text_initials", -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
               tokenizer.release(), textInitials, nullptr, nullptr,
               [](void* made) { delete static_cast<Tokenizer*>(made); }) == SQLITE_OK;
}

}  // namespace kelvra::library
