#include "library/TextInitials.h"

#include <sqlite3.h>

#include <memory>
#include <string>

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
    if (sqlite3_prepare_v2(db, "SELECT fts5(:api)", -1, &statement, nullptr) != SQLITE_OK)
        return nullptr;
    sqlite3_bind_pointer(statement, sqlite3_bind_parameter_index(statement, ":api"), &api,
                         "fts5_api_ptr", nullptr);
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

// Each token after the last, a space between two.
int addToken(void* folded, int, const char* token, int size, int, int) {
    auto& text = *static_cast<std::string*>(folded);
    if (!text.empty()) text += ' ';
    text.append(token, std::size_t(size));
    return SQLITE_OK;
}

void textFold(sqlite3_context* context, int, sqlite3_value** values) {
    auto* tokenizer = static_cast<Tokenizer*>(sqlite3_user_data(context));
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(values[0]));
    std::string folded;
    if (text) {
        const int rc =
            tokenizer->methods.xTokenize(tokenizer->made, &folded, FTS5_TOKENIZE_DOCUMENT, text,
                                         sqlite3_value_bytes(values[0]), addToken);
        if (rc != SQLITE_OK) {
            sqlite3_result_error_code(context, rc);
            return;
        }
    }
    sqlite3_result_text(context, folded.data(), int(folded.size()), SQLITE_TRANSIENT);
}

// The index's tokenizer with its own settings; null when the connection has no FTS5.
std::unique_ptr<Tokenizer> makeTokenizer(sqlite3* db) {
    fts5_api* api = ftsOf(db);
    if (!api) return nullptr;
    auto tokenizer = std::make_unique<Tokenizer>();
    void* context = nullptr;
    if (api->xFindTokenizer(api, "unicode61", &context, &tokenizer->methods) != SQLITE_OK)
        return nullptr;
    const char* settings[] = {"remove_diacritics", "2"};
    if (tokenizer->methods.xCreate(context, settings, 2, &tokenizer->made) != SQLITE_OK)
        return nullptr;
    return tokenizer;
}

bool addFunction(sqlite3* db, const char* name, int arguments,
                 void (*function)(sqlite3_context*, int, sqlite3_value**)) {
    auto tokenizer = makeTokenizer(db);
    if (!tokenizer) return false;
    return sqlite3_create_function_v2(
               db, name, arguments, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
               tokenizer.release(), function, nullptr, nullptr,
               [](void* made) { delete static_cast<Tokenizer*>(made); }) == SQLITE_OK;
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
    return addFunction(db, "text_initials", -1, textInitials) &&
           addFunction(db, "text_fold", 1, textFold);
}

}  // namespace kelvra::library
