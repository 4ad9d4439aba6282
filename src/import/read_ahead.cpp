// The reader fills batch s (of a ring of three) once the caller has given
// back batch s - 3; the caller reads batch s once the reader has handed it
// over. The mutex orders every hand-over, so a batch's contents are only
// ever touched by one thread at a time.
#include "import/read_ahead.h"

#include <string_view>

namespace efi::import {

ReadAhead::ReadAhead(LineSource& source, char delimiter)
    : source_(source), delimiter_(delimiter), reader_(&ReadAhead::read_batches, this) {}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  reader_.join();
}

void ReadAhead::read_batches() {
  for (std::size_t s = 0;; ++s) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || s < consumed_ + batch_count; });
      if (stopping_) return;
    }
    Batch& batch = batches_[s % batch_count];
    fill(batch);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      filled_ = s + 1;
    }
    changed_.notify_all();
    if (batch.last) return;
  }
}

void ReadAhead::fill(Batch& batch) {
  batch.text.clear();
  batch.ends.clear();
  batch.count = 0;
  batch.last = false;
  batch.failure = nullptr;
  try {
    std::string_view line;
    while (batch.ends.size() < batch_lines && batch.text.size() < batch_bytes) {
      if (!source_.next(line)) {
        batch.last = true;
        break;
      }
      batch.text.append(line);
      batch.ends.push_back(batch.text.size());
    }
  } catch (...) {
    // the lines read before the failure still go out first
    batch.failure = std::current_exception();
    batch.last = true;
  }
  try {
    // Split once the text has stopped growing, so the fields' views stay put.
    if (batch.lines.size() < batch.ends.size()) batch.lines.resize(batch.ends.size());
    std::size_t start = 0;
    for (; batch.count < batch.ends.size(); ++batch.count) {
      const std::size_t end = batch.ends[batch.count];
      batch.lines[batch.count].split(std::string_view(batch.text.data() + start, end - start), delimiter_);
      start = end;
    }
  } catch (...) {
    if (!batch.failure) batch.failure = std::current_exception();
    batch.last = true;
  }
}

bool ReadAhead::next(const FieldList*& fields) {
  for (;;) {
    if (current_ != nullptr) {
      if (position_ < current_->count) {
        fields = &current_->lines[position_++];
        return true;
      }
      if (current_->failure) std::rethrow_exception(current_->failure);
      if (current_->last) return false;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++consumed_;
      }
      changed_.notify_all();
      current_ = nullptr;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return filled_ > consumed_; });
    current_ = &batches_[consumed_ % batch_count];
    position_ = 0;
  }
}

}  // namespace efi::import
