// Failure records: the factories, the one formatter, and the exceptions
// turned into records.
#include "import/failure.h"

#include <utility>

#include "db/connection.h"
#include "workbook/converter.h"

namespace efi::import {

Failure Failure::engine(std::string text, int extended_code) {
  Failure f;
  f.kind = FailureKind::engine;
  f.reason = std::move(text);
  f.engine_code = extended_code;
  return f;
}

Failure Failure::open_file(std::string path, std::string system_text) {
  Failure f;
  f.kind = FailureKind::open_file;
  f.file = std::move(path);
  f.reason = std::move(system_text);
  return f;
}

Failure Failure::read_file(std::string path, std::uint64_t line, std::string what_was_wrong) {
  Failure f;
  f.kind = FailureKind::read_file;
  f.file = std::move(path);
  f.line = line;
  f.reason = std::move(what_was_wrong);
  return f;
}

Failure Failure::changed_file(std::string path, std::string how) {
  Failure f;
  f.kind = FailureKind::changed_file;
  f.file = std::move(path);
  f.reason = std::move(how);
  return f;
}

Failure Failure::missing_field(std::string path, std::uint64_t line, std::size_t index, std::size_t count,
                               std::optional<std::string> converted_from) {
  Failure f;
  f.kind = FailureKind::missing_field;
  f.file = std::move(path);
  f.converted_from = std::move(converted_from);
  f.line = line;
  f.field = index;
  f.field_count = count;
  return f;
}

Failure Failure::list_date(std::string file_name, std::string date) {
  Failure f;
  f.kind = FailureKind::list_date;
  f.file = std::move(file_name);
  f.reason = std::move(date);
  return f;
}

Failure Failure::conversion(std::string text) {
  Failure f;
  f.kind = FailureKind::conversion;
  f.reason = std::move(text);
  return f;
}

Failure Failure::other(std::string text) {
  Failure f;
  f.kind = FailureKind::other;
  f.reason = std::move(text);
  return f;
}

Failure Failure::interrupted() {
  Failure f;
  f.kind = FailureKind::interrupted;
  return f;
}

std::string failure_text(const Failure& failure) {
  switch (failure.kind) {
    case FailureKind::engine:
    case FailureKind::conversion:
    case FailureKind::other: return failure.reason;
    case FailureKind::open_file: return "cannot open file '" + failure.file + "': " + failure.reason;
    case FailureKind::read_file: return "cannot read file '" + failure.file + "': " + failure.reason;
    case FailureKind::changed_file:
      return failure.file + ": the file changed while it was read (" + failure.reason + ")";
    case FailureKind::missing_field: {
      std::string text = failure.file + ":" + std::to_string(failure.line) + ": line has " +
                         std::to_string(failure.field_count) + " fields, field " +
                         std::to_string(failure.field) + " is missing";
      if (failure.converted_from) text += " (converted from \"" + *failure.converted_from + "\")";
      return text;
    }
    case FailureKind::list_date:
      return "taking the list date from \"" + failure.file + "\": characters 3 to 10 are \"" +
             failure.reason + "\", not eight digits";
    case FailureKind::interrupted: return "interrupted";
    case FailureKind::undescribed: break;
  }
  return "the failure could not be described (the program ran out of memory)";
}

FailureError::FailureError(Failure failure)
    : std::runtime_error(failure_text(failure)), failure_(std::move(failure)) {}

Failure current_failure() noexcept {
  try {
    if (before_describing_failure != nullptr) before_describing_failure();
    try {
      throw;
    } catch (const FailureError& error) {
      return error.failure();
    } catch (const db::Error& error) {
      return Failure::engine(error.what(), error.extended_code());
    } catch (const workbook::ConversionError& error) {
      return Failure::conversion(error.what());
    } catch (const std::exception& error) {
      return Failure::other(error.what());
    } catch (...) {
      return Failure::other("an unknown failure");
    }
  } catch (...) {
    Failure undescribed;  // holds no text, so making it allocates nothing
    undescribed.kind = FailureKind::undescribed;
    return undescribed;
  }
}

}  // namespace efi::import
