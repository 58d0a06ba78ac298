#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"
#include "platform/storage/mapped_file.h"

// The boundary between the parts of a multipart upload.
inline constexpr const char* kVKRFormBoundary = "+++++org.vokaru.formBoundary";

// The file's bytes an upload sends: read into memory, or the file itself mapped.
class VKRUploadFile {
 public:
  explicit VKRUploadFile(platform::Bytes bytes) : held_(std::move(bytes)) {}
  explicit VKRUploadFile(std::shared_ptr<const platform::MappedFile> mapped)
      : mapped_(std::move(mapped)) {}

  std::span<const uint8_t> bytes() const { return mapped_ ? mapped_->bytes() : held_; }

 private:
  platform::Bytes held_;
  std::shared_ptr<const platform::MappedFile> mapped_;
};

// What an upload sends around the file's bytes: for a multipart body the form fields and the
// file part's head before them and the closing boundary after them; for a raw body nothing.
struct VKRUploadBody {
  platform::Bytes head;
  platform::Bytes tail;

  // The multipart pieces. Field names, the file key, the file name and the MIME type go into
  // part headers: a '"' in the quoted ones is sent as "%22", and any CR or LF refuses the body
  // (nullopt), since it would start a header or part of its own.
  static std::optional<VKRUploadBody> multipart(const platform::Dictionary& parameters,
                                                std::string_view fileKey, std::string_view fileName,
                                                std::string_view mimeType, size_t fileLength);
  static VKRUploadBody raw() { return {}; }

  size_t length(size_t fileLength) const { return head.size() + fileLength + tail.size(); }
};

// The text a page value stands for in a form field or header: text as it is, numbers in
// decimal (booleans as 1 and 0); nothing for other values.
std::optional<std::string> vkrTextOfValue(const platform::Value& value);

// True when the text holds a CR or LF.
bool vkrHasLineBreak(std::string_view text);
