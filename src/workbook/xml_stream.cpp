#include "workbook/xml_stream.h"

#include <expat.h>

#include <cstring>

#include "workbook/converter.h"
#include "workbook/zip_archive.h"

namespace efi::workbook {
namespace {

constexpr char kSeparator = ':';  // between a name's prefix and its local part

std::string_view local_name(const char* name) {
  const char* sep = std::strrchr(name, kSeparator);
  return sep ? std::string_view(sep + 1) : std::string_view(name);
}

// What the callbacks share: the handler, and the first failure met.
struct Context {
  XML_Parser parser;
  XmlHandler& handler;
  std::exception_ptr failure;  // a handler's exception, rethrown after expat returns
  std::string refusal;         // a reason of our own to stop (a DTD)
  unsigned long line = 0;      // line of the failure
};

void stop(Context& c) {
  c.line = XML_GetCurrentLineNumber(c.parser);
  XML_StopParser(c.parser, XML_FALSE);
}

template <class F>
void guarded(void* data, F&& f) {
  auto& c = *static_cast<Context*>(data);
  if (c.failure || !c.refusal.empty()) return;
  try {
    f(c.handler);
  } catch (...) {
    c.failure = std::current_exception();
    stop(c);
  }
}

void XMLCALL on_start(void* data, const XML_Char* name, const XML_Char** attrs) {
  guarded(data, [&](XmlHandler& h) { h.start(local_name(name), attrs); });
}

void XMLCALL on_end(void* data, const XML_Char* name) {
  guarded(data, [&](XmlHandler& h) { h.end(local_name(name)); });
}

void XMLCALL on_text(void* data, const XML_Char* s, int len) {
  guarded(data, [&](XmlHandler& h) { h.text(std::string_view(s, static_cast<std::size_t>(len))); });
}

void XMLCALL on_doctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  auto& c = *static_cast<Context*>(data);
  c.refusal = "a document type declaration is not allowed";
  stop(c);
}

// Frees the parser however parsing ends.
struct ParserHolder {
  XML_Parser p;
  ~ParserHolder() { XML_ParserFree(p); }
};

}  // namespace

const char* attribute(const char** attrs, std::string_view name) {
  for (; *attrs != nullptr; attrs += 2)
    if (name == attrs[0]) return attrs[1];
  return nullptr;
}

const char* namespaced_attribute(const char** attrs, std::string_view local) {
  for (; *attrs != nullptr; attrs += 2) {
    const char* sep = std::strrchr(attrs[0], kSeparator);
    if (sep != nullptr && local == sep + 1) return attrs[1];
  }
  return nullptr;
}

void parse_part(const ZipArchive& zip, const std::string& part, XmlHandler& handler) {
  ParserHolder holder{XML_ParserCreate(nullptr)};
  if (holder.p == nullptr) throw std::bad_alloc();
  Context context{holder.p, handler, nullptr, {}, 0};
  XML_SetUserData(holder.p, &context);
  XML_SetElementHandler(holder.p, on_start, on_end);
  XML_SetCharacterDataHandler(holder.p, on_text);
  XML_SetStartDoctypeDeclHandler(holder.p, on_doctype);

  zip.read(part, [&](const char* data, std::size_t size, bool last) {
    if (XML_Parse(holder.p, data, static_cast<int>(size), last ? XML_TRUE : XML_FALSE) != XML_STATUS_ERROR)
      return true;
    if (context.failure) {
      try {
        std::rethrow_exception(context.failure);
      } catch (const ConversionError&) {
        throw;  // already names the workbook
      } catch (const std::bad_alloc&) {
        throw;
      } catch (const std::exception& e) {
        zip.fail(part + ", line " + std::to_string(context.line) + ": " + e.what());
      }
    }
    if (!context.refusal.empty())
      zip.fail(part + ", line " + std::to_string(context.line) + ": " + context.refusal);
    zip.fail(part + ", line " + std::to_string(XML_GetCurrentLineNumber(holder.p)) + ": " +
             XML_ErrorString(XML_GetErrorCode(holder.p)));
  });
}

}  // namespace efi::workbook
