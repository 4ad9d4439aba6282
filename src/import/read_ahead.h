// Reading ahead: the lines of an opened line source, decoded and split on a
// thread of their own, a few batches ahead of the thread that inserts them.
//
// A load spends about a third of its time reading, decoding and splitting;
// done beside the inserts, that time leaves the step's wall time. The caller
// sees the lines in order exactly as it would have read and split them
// itself, and a failure to read comes out of next() at the line where it
// happened, after every line before it, as a sequential read would raise it.
// The source must not be used by anyone else until this object is gone.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "import/field_list.h"
#include "import/line_source.h"

namespace efi::import {

class ReadAhead {
 public:
  static constexpr std::size_t batch_lines = 1024;                    // lines handed over at a time
  static constexpr std::size_t batch_bytes = std::size_t{256} << 10;  // or this much text

  ReadAhead(LineSource& source, char delimiter);
  ~ReadAhead();  // stops the reader and waits for it
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next line's fields, valid until the next call; false after the last
  // line. Rethrows the reader's failure in place of the line it could not read.
  bool next(const FieldList*& fields);

 private:
  struct Batch {
    std::string text;               // the batch's lines end to end
    std::vector<std::size_t> ends;  // where each line ends in `text`
    std::vector<FieldList> lines;   // each line split; views into `text`
    std::size_t count = 0;          // lines in this batch
    bool last = false;              // no batch follows
    std::exception_ptr failure;     // what stopped the reader after `count` lines
  };

  void read_batches();
  void fill(Batch& batch);

  LineSource& source_;
  const char delimiter_;
  static constexpr std::size_t batch_count = 3;
  Batch batches_[batch_count];

  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t filled_ = 0;    // batches the reader has handed over
  std::size_t consumed_ = 0;  // batches the caller has given back
  bool stopping_ = false;

  Batch* current_ = nullptr;  // the caller's batch
  std::size_t position_ = 0;  // the caller's next line in it
  std::thread reader_;
};

}  // namespace efi::import
