#include "platform/foundation/xml_parser.h"

#include <expat.h>

#include <memory>

namespace platform {

namespace {

struct Context {
  XMLParserDelegate& delegate;
  XML_Parser parser;
  const bool& aborted;
};

void stopIfAborted(Context* context) {
  if (context->aborted) XML_StopParser(context->parser, XML_FALSE);
}

void onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
  auto* context = static_cast<Context*>(data);
  XMLAttributes attrs;
  for (const XML_Char** a = attributes; a && a[0] && a[1]; a += 2) attrs[a[0]] = a[1];
  context->delegate.didStartElement(name, attrs);
  stopIfAborted(context);
}

void onEnd(void* data, const XML_Char* name) {
  auto* context = static_cast<Context*>(data);
  context->delegate.didEndElement(name);
  stopIfAborted(context);
}

void onCharacters(void* data, const XML_Char* text, int length) {
  auto* context = static_cast<Context*>(data);
  context->delegate.foundCharacters(std::string_view(text, static_cast<size_t>(length)));
  stopIfAborted(context);
}

}  // namespace

Status XMLParser::parse(std::string_view document) {
  aborted_ = false;
  std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate("UTF-8"),
                                                                      &XML_ParserFree);
  if (!parser)
    return Error::withDescription(kXMLParserErrorDomain, XML_ERROR_NO_MEMORY, "out of memory");
  Context context{delegate_, parser.get(), aborted_};
  XML_SetUserData(parser.get(), &context);
  XML_SetElementHandler(parser.get(), &onStart, &onEnd);
  XML_SetCharacterDataHandler(parser.get(), &onCharacters);
  XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
  // expat (2.4 and later) bounds entity amplification by default, so a billion-laughs
  // document stops long before memory runs out.

  // Fed in pieces, since expat takes an int length.
  constexpr size_t kChunk = 1 << 20;
  size_t offset = 0;
  XML_Status status = XML_STATUS_OK;
  do {
    const size_t size = std::min(kChunk, document.size() - offset);
    const bool last = offset + size == document.size();
    status = XML_Parse(parser.get(), document.data() + offset, static_cast<int>(size),
                       last ? XML_TRUE : XML_FALSE);
    offset += size;
  } while (status == XML_STATUS_OK && offset < document.size());

  if (aborted_) {
    return Error::withDescription(kXMLParserErrorDomain, XML_ERROR_ABORTED, "parsing aborted");
  }
  if (status == XML_STATUS_OK) return okStatus();
  const XML_Error code = XML_GetErrorCode(parser.get());
  Value info = Value::dictionary();
  info.set(Error::kDescriptionKey, XML_ErrorString(code));
  info.set(kXMLLineKey, static_cast<int64_t>(XML_GetCurrentLineNumber(parser.get())));
  info.set(kXMLColumnKey, static_cast<int64_t>(XML_GetCurrentColumnNumber(parser.get())));
  return Error(kXMLParserErrorDomain, code, std::move(info));
}

}  // namespace platform
