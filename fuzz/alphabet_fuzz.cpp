// Arbitrary alphabets, synonyms and padding characters: a coder that can be made must encode and
// decode its own output back to the input.
#include <cstdlib>

#include "platform/foundation/assertion.h"
#include "platform/foundation/log.h"
#include "toolbox/encoding/string_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = (platform::setAssertionHandler([](std::string_view) {}),
                             platform::setConsoleLogging(false), true);
  (void)quiet;
  if (size < 2) return 0;
  const size_t alphabetLength = data[0] % 130;
  const char padding = static_cast<char>(data[1]);
  std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  std::string_view alphabet = rest.substr(0, alphabetLength);
  std::string_view synonyms = rest.substr(alphabet.size());
  std::optional<ZSDK_ZTMStringEncoding> coder =
      ZSDK_ZTMStringEncoding::stringEncodingWithString(alphabet);
  if (!coder) return 0;
  // Without a usable padding character (data or non-ASCII) padded output can't be decoded.
  const bool paddingUnusable =
      alphabet.find(padding) != std::string_view::npos || static_cast<uint8_t>(padding) >= 128;
  coder->setPaddingChar(padding);
  coder->setDoPad(true);
  // Decoding arbitrary text with synonyms and ignored characters must be safe.
  ZSDK_ZTMStringEncoding lenient = *coder;
  lenient.addDecodeSynonyms(synonyms);
  lenient.ignoreCharacters(synonyms);
  (void)lenient.decode(synonyms);
  if (paddingUnusable) return 0;
  const platform::Bytes bytes(synonyms.begin(), synonyms.end());
  if (coder->decode(coder->encode(bytes)) != bytes) std::abort();
  return 0;
}
