// Text lengths at and beyond the engine's limit: a field is bound with its
// whole length, so one the engine cannot hold is refused with its "too big"
// error and never stored cut short, however far it lies beyond an int.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/statement.h"
#include "db_test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace efi::db {
namespace {

using test::SchemaDb;

// A connection in a transaction with a table `raw` of one untyped column, so
// a row is not much longer than its one field.
struct Open {
  SchemaDb db;
  Connection c{db.path};
  Statement insert{c, ParamTyping::text};
  Open() {
    c.start_transaction();
    efi::test_support::execute_sql(c.handle(), "create table raw (v)");
    insert.set_text("insert into raw values (:v)");
  }
  std::vector<std::string> lengths() {
    return test::column(c.handle(), "select length(v) from raw order by rowid");
  }
};

constexpr int lowered_limit = 4096;  // bytes, set on the test's connection

struct LengthCase {
  const char* what;
  std::string text;           // as set
  bool is_borrowed;           // set without copying, as a load binds its fields
  const char* stored_length;  // length(v) afterwards; null: refused
};

TEST(BindLength, ATextAboveTheEnginesLimitIsRefusedNotCut) {
  const std::string under(lowered_limit - 16, 'a');
  const std::vector<LengthCase> cases = {
      {"below the limit", under, false, "4080"},
      {"below the limit, borrowed", under, true, "4080"},
      // trailing blanks go before binding, so only what is stored counts
      {"below the limit after its trailing blanks", under + std::string(100, ' '), true, "4080"},
      {"one byte above", std::string(lowered_limit + 1, 'b'), false, nullptr},
      {"one byte above, borrowed", std::string(lowered_limit + 1, 'b'), true, nullptr},
  };
  for (const LengthCase& c : cases) {
    SCOPED_TRACE(c.what);
    Open o;
    sqlite3_limit(o.c.handle(), SQLITE_LIMIT_LENGTH, lowered_limit);
    if (c.is_borrowed) {
      o.insert.set_borrowed(0, c.text);
    } else {
      o.insert.set(0, c.text);
    }
    try {
      o.insert.execute();
      EXPECT_NE(c.stored_length, nullptr) << "stored a text above the limit";
    } catch (const Error& e) {
      EXPECT_EQ(c.stored_length, nullptr) << e.what();
      EXPECT_STREQ(e.what(), "string or blob too big");
      EXPECT_EQ(e.extended_code(), SQLITE_TOOBIG);
    }
    EXPECT_EQ(o.lengths(),
              c.stored_length ? std::vector<std::string>{c.stored_length} : std::vector<std::string>{});
  }
}

// Address space of `size` bytes that costs no memory until a page is written.
class Reserved {
 public:
  explicit Reserved(std::uint64_t size) : size_(size) {
#ifdef _WIN32
    void* p = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#else
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) p = nullptr;
#endif
    data_ = static_cast<char*>(p);
  }
  ~Reserved() {
    if (data_ == nullptr) return;
#ifdef _WIN32
    VirtualFree(data_, 0, MEM_RELEASE);
#else
    munmap(data_, size_);
#endif
  }
  Reserved(const Reserved&) = delete;
  Reserved& operator=(const Reserved&) = delete;
  char* data() const { return data_; }

 private:
  std::uint64_t size_;
  char* data_ = nullptr;  // null when the system refused
};

// Fields of 2 GiB and 4 GiB and a little: bound through an int, the first
// turned negative (the engine then read up to the first NUL: here an empty
// text) and the second wrapped to one byte; both were stored without a word.
TEST(BindLength, GibibyteLengthsAreBoundWhole) {
  if constexpr (sizeof(std::size_t) < 8) GTEST_SKIP() << "needs a 64-bit address space";
  constexpr std::uint64_t gib = std::uint64_t{1} << 30;
  for (const std::uint64_t size : {2 * gib + 1, 4 * gib + 1}) {
    SCOPED_TRACE(std::to_string(size) + " bytes");
    Reserved field(size);
    if (field.data() == nullptr) GTEST_SKIP() << "the system gives no " << size << " bytes of address space";
    field.data()[size - 1] = 'x';  // not blank, so trimming stops at once; the rest stays untouched zeros
    Open o;
    o.insert.set_borrowed(0, std::string_view(field.data(), static_cast<std::size_t>(size)));
    try {
      o.insert.execute();
      ADD_FAILURE() << "stored a field of " << size << " bytes";
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), "string or blob too big");
      EXPECT_EQ(e.extended_code(), SQLITE_TOOBIG);
    }
    EXPECT_EQ(o.lengths(), std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace efi::db
