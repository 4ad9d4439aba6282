// The line list, read in blocks: a counting and validating first pass over the
// raw bytes, then the lines handed out one by one from decoded blocks.
//
// Lines are cut in the decoded text. For ANSI files the first pass counts on
// the raw bytes instead (decoding twice would cost twice), stepping over the
// second byte of each double-byte character exactly as the decoder does, so a
// CR or LF that a lead byte swallows is no break in either pass.
#include "import/line_source.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <system_error>
#include <vector>

namespace efi::import {
namespace {

constexpr std::uint64_t ones = 0x0101010101010101ull;
constexpr std::uint64_t high_bits = 0x8080808080808080ull;

// Non-zero when one of the eight bytes of `w` is a CR or an LF.
inline std::uint64_t has_break(std::uint64_t w) {
  const std::uint64_t lf = w ^ (ones * '\n');
  const std::uint64_t cr = w ^ (ones * '\r');
  return ((lf - ones) & ~lf & high_bits) | ((cr - ones) & ~cr & high_bits);
}

// The first CR or LF in [p, end), or end.
const char* find_break(const char* p, const char* end) {
  while (end - p >= 8) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    if (has_break(w)) break;
    p += 8;
  }
  for (; p < end; ++p) {
    if (*p == '\n' || *p == '\r') return p;
  }
  return end;
}

// Counts lines by the cutting rule, fed characters in order: a line starts at
// any character met outside a line (a break met there is an empty line); CR,
// LF and CR LF end a line.
struct LineCounter {
  std::uint64_t lines = 0;  // lines started so far
  bool in_line = false;     // a line has started and not yet ended
  bool after_cr = false;    // the last character ended a line with CR: an LF now belongs to it

  void content() {
    after_cr = false;
    if (!in_line) ++lines, in_line = true;
  }
  void line_break(char c) {
    if (after_cr && c == '\n') {
      after_cr = false;
      return;
    }
    if (!in_line) ++lines;
    in_line = false;
    after_cr = c == '\r';
  }
  // The line that a character arriving now belongs to.
  std::uint64_t current_line() const { return in_line ? lines : lines + 1; }

  void feed_text(const char* p, std::size_t n) {
    const char* const end = p + n;
    while (p < end) {
      const char* q = find_break(p, end);
      if (q > p) content();
      if (q == end) return;
      line_break(*q);
      p = q + 1;
    }
  }
};

// The first-pass counter for ANSI bytes; `pending` holds a lead byte that
// ended the last block.
struct AnsiCounter {
  LineCounter counter;
  int pending = -1;  // lead byte waiting for its successor, or -1

  void feed(const unsigned char* p, std::size_t n) {
    std::size_t i = 0;
    if (pending >= 0 && n > 0) {
      if (platform::ansi_char_length(static_cast<unsigned char>(pending), p[0]) == 2) i = 1;
      pending = -1;
    }
    while (i < n) {
      if (n - i >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (((w & high_bits) | has_break(w)) == 0) {
          counter.content();
          i += 8;
          continue;
        }
      }
      const unsigned char b = p[i];
      if (b == '\r' || b == '\n') {
        counter.line_break(static_cast<char>(b));
        ++i;
        continue;
      }
      counter.content();
      if (b >= 0x80 && platform::is_ansi_lead_byte(b)) {
        if (i + 1 == n) {
          pending = b;
          return;
        }
        i += platform::ansi_char_length(b, p[i + 1]);
      } else {
        ++i;
      }
    }
  }
};

// The file is no longer what the first pass read: written to, cut short,
// replaced or removed. `detail` says what showed it.
ReadError changed_while_read(const std::string& path, const std::string& detail) {
  return ReadError(Failure::changed_file(path, detail));
}

// What differs between the file as opened and the file now, in words.
std::string identity_change(const platform::FileIdentity& opened,
                            const std::optional<platform::FileIdentity>& now) {
  if (!now) return "it is no longer there";
  if (now->device != opened.device || now->file_id != opened.file_id) {
    return "another file has taken its name";
  }
  if (now->size != opened.size) {
    return std::to_string(opened.size) + " bytes when opened, " + std::to_string(now->size) + " now";
  }
  return "it was modified after it was opened";
}

std::function<void(const std::string&)>& between_passes_hook() {
  static std::function<void(const std::string&)> hook;  // empty: no test is watching
  return hook;
}

}  // namespace

void set_between_passes_hook(std::function<void(const std::string& path_utf8)> hook) {
  between_passes_hook() = std::move(hook);
}

struct LineSource::Impl {
  Impl(const std::string& path, std::size_t block) : file(path), block_size(block), raw(block) {}

  platform::ReadFile file;
  std::size_t block_size;     // bytes per read
  std::size_t mark_size = 0;  // bytes of the byte-order mark at the start of the file
  std::vector<char> raw;      // one block of file bytes
  std::string text;           // decoded UTF-8 in [0, length): the rest of the current line and what follows
  std::size_t length = 0;     // bytes of `text` in use; the rest is room for the next block
  std::size_t pos = 0;        // start of the next line in `text`
  std::size_t scan = 0;       // where the search for the next break goes on (>= pos)
  bool after_cr = false;      // the last line ended at a CR: an LF next belongs to it
  bool eof = false;           // the decoder has had the last bytes
  std::optional<platform::Decoder> decoder;
  std::uint64_t first_pass_bytes = 0;   // every byte the first pass read, the mark included
  std::uint64_t second_pass_bytes = 0;  // bytes the second pass has read so far, the mark included
  bool is_end_checked = false;          // the last line was handed out and the file found unchanged

  // Reads the first bytes (at most 3) and returns them.
  std::string read_head() {
    std::string head(3, '\0');
    std::size_t got = 0;
    while (got < head.size()) {
      const std::size_t n = file.read(head.data() + got, head.size() - got);
      if (n == 0) break;
      got += n;
    }
    head.resize(got);
    first_pass_bytes += got;
    return head;
  }

  // Moves the unread text to the front and decodes one more block after it,
  // failing as soon as the bytes differ in number from the first pass's.
  // The buffer only grows (for a line longer than any before), so it is not
  // cleared or zero-filled per block.
  void refill() {
    if (pos > 0) {
      std::memmove(text.data(), text.data() + pos, length - pos);
      length -= pos;
      scan -= pos;
      pos = 0;
    }
    const std::size_t n = file.read(raw.data(), raw.size());
    second_pass_bytes += n;
    if (second_pass_bytes > first_pass_bytes) {
      throw changed_while_read(file.path(),
                               "more than the " + std::to_string(first_pass_bytes) + " bytes read first");
    }
    if (n == 0 && second_pass_bytes != first_pass_bytes) {
      throw changed_while_read(file.path(), std::to_string(first_pass_bytes) + " bytes read first, " +
                                                std::to_string(second_pass_bytes) + " the second time");
    }
    const std::size_t room = length + platform::Decoder::max_output(n);
    if (text.size() < room) text.resize(std::max(room, text.size() * 2));
    length += decoder->decode_into(std::string_view(raw.data(), n), n == 0, text.data() + length);
    if (n == 0) eof = true;
  }
};

LineSource::LineSource(const std::string& path_utf8, std::size_t block_size) : path_(path_utf8) {
  if (block_size == 0) block_size = default_block_size;
  try {
    impl_ = std::make_unique<Impl>(path_, block_size);
  } catch (const std::system_error& e) {
    throw ReadError(Failure::open_file(path_, e.code().message()));
  }
  Impl& m = *impl_;
  LineCounter counter;
  try {
    const std::string head = m.read_head();
    const platform::Bom bom = platform::detect_bom(head);
    encoding_ = bom.encoding;
    m.mark_size = bom.size;
    const std::string_view rest = std::string_view(head).substr(bom.size);

    if (encoding_ == platform::Encoding::utf16le || encoding_ == platform::Encoding::utf16be) {
      if ((m.file.size() - bom.size) % 2 != 0) {
        throw ReadError(Failure::read_file(path_, 0, "UTF-16 file has an odd number of bytes"));
      }
    }

    if (encoding_ == platform::Encoding::ansi) {
      AnsiCounter ansi;
      ansi.feed(reinterpret_cast<const unsigned char*>(rest.data()), rest.size());
      for (;;) {
        const std::size_t n = m.file.read(m.raw.data(), m.raw.size());
        if (n == 0) break;
        m.first_pass_bytes += n;
        ansi.feed(reinterpret_cast<const unsigned char*>(m.raw.data()), n);
      }
      counter = ansi.counter;
    } else {
      // Strict encodings: decode every block once to validate it and count its lines.
      platform::Decoder check(encoding_, bom.size);
      std::string scratch;
      std::string_view block = rest;
      bool last = false;
      try {
        for (;;) {
          scratch.clear();
          check.decode(block, last, scratch);
          counter.feed_text(scratch.data(), scratch.size());
          if (last) break;
          const std::size_t n = m.file.read(m.raw.data(), m.raw.size());
          m.first_pass_bytes += n;
          block = std::string_view(m.raw.data(), n);
          last = n == 0;
        }
      } catch (const platform::DecodeError& e) {
        counter.feed_text(scratch.data(), scratch.size());  // the valid text before the bad bytes
        throw ReadError(Failure::read_file(path_, counter.current_line(), e.what()));
      }
    }

    if (between_passes_hook()) between_passes_hook()(path_);

    // Back to the first character of the text for the lines themselves.
    m.file.rewind();
    std::string skipped(bom.size, '\0');
    if (bom.size != 0 && m.file.read(skipped.data(), bom.size) != bom.size) {
      throw changed_while_read(path_, "its byte-order mark is gone");
    }
    m.second_pass_bytes = bom.size;
    m.decoder.emplace(encoding_, bom.size);
  } catch (const std::system_error& e) {
    throw ReadError(Failure::read_file(path_, 0, e.code().message()));
  }
  line_count_ = static_cast<std::size_t>(counter.lines);
}

LineSource::~LineSource() = default;

bool LineSource::next(std::string_view& line_out) {
  Impl& m = *impl_;
  try {
    for (;;) {
      if (m.pos == m.length) {
        if (m.eof) {
          check_unchanged_at_end();
          return false;
        }
        m.refill();
        continue;
      }
      if (m.after_cr) {
        m.after_cr = false;
        if (m.text[m.pos] == '\n') {
          ++m.pos;
          m.scan = m.pos;
          continue;
        }
      }
      const char* const base = m.text.data();
      const char* const end = base + m.length;
      const char* const q = find_break(base + m.scan, end);
      if (q == end && !m.eof) {
        m.scan = m.length;  // no break yet: the line goes on in the next block
        m.refill();
        continue;
      }
      const std::size_t stop = static_cast<std::size_t>(q - base);
      line_out = std::string_view(base + m.pos, stop - m.pos);
      if (q != end) {
        m.after_cr = *q == '\r';
        m.pos = stop + 1;
      } else {
        m.pos = stop;
      }
      m.scan = m.pos;
      if (line_number_ == line_count_) {
        throw changed_while_read(path_,
                                 "more than the " + std::to_string(line_count_) + " lines counted first");
      }
      ++line_number_;
      return true;
    }
  } catch (const platform::DecodeError& e) {
    // The first pass found every byte valid: these are other bytes. The
    // offset says where; a line number could only be a guess.
    throw changed_while_read(path_, std::string("the second reading found ") + e.what());
  } catch (const std::system_error& e) {
    throw ReadError(Failure::read_file(path_, line_number_ + 1, e.code().message()));
  }
}

// Once the last line has gone out: the lines were those counted, and the
// file is still the one that was opened.
void LineSource::check_unchanged_at_end() {
  Impl& m = *impl_;
  if (m.is_end_checked) return;
  if (line_number_ != line_count_) {
    throw changed_while_read(path_, std::to_string(line_count_) + " lines counted first, " +
                                        std::to_string(line_number_) + " the second time");
  }
  const platform::FileIdentity& opened = m.file.identity_when_opened();
  const std::optional<platform::FileIdentity> now = m.file.current_identity();
  if (!now || *now != opened) throw changed_while_read(path_, identity_change(opened, now));
  m.is_end_checked = true;
}

}  // namespace efi::import
