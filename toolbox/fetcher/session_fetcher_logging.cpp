// Fetch debug logging: an HTML page per run with an entry per logged fetch, a text transcript
// per fetch, response files for images and XML, and a link to the newest run's page.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/dispatch/clock.h"
#include "platform/foundation/log.h"
#include "platform/foundation/percent_encoding.h"
#include "platform/net/http_status_phrase.h"
#include "platform/storage/file_manager.h"
#include "toolbox/fetcher/fetch_log_settings.h"
#include "toolbox/fetcher/fetch_log_text.h"
#include "toolbox/fetcher/session_fetcher.h"
#include "toolbox/streams/read_monitor_input_stream.h"

namespace settings = fetch_log_settings;
using fetch_log_text::snipSubstringOfString;
using platform::Bytes;
using platform::Error;
using platform::format;

struct ZSDK_ZTMSessionFetcher::LogEntry {
  int number = 0;
  std::filesystem::path runDirectory;
  std::string html;
  std::string transcript;
  std::string transcriptName;
  // The response body and how it shows.
  std::optional<Bytes> responseData;
  std::optional<std::string> responseText;
  platform::Value responseJSON;
  std::string mimeType;
  std::string responseFileName;
  std::string responseExtension;
};

namespace {

std::string currentDateText() {
  const auto seconds = static_cast<time_t>(platform::now().secondsSince1970);
  struct tm local {};
  localtime_r(&seconds, &local);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &local);
  return text;
}

void reportWriteError(const std::string& error, const std::string& name) {
  platform::logf("%s", format("ZSDK_ZTMSessionFetcher logging write error:%s (%s)", error.c_str(),
                              name.c_str())
                           .c_str());
}

// Appends to a file, making it when missing; failures are ignored (the entry is a developer aid).
void appendToFile(const std::filesystem::path& path, const std::string& text) {
  if (std::FILE* file = std::fopen(path.c_str(), "ab")) {
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
}

bool writeWhole(const std::filesystem::path& path, const std::string& text, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !written) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

// Settings.

bool ZSDK_ZTMSessionFetcher::isLoggingEnabled() { return settings::enabled(); }
void ZSDK_ZTMSessionFetcher::setLoggingEnabled(bool enabled) { settings::setEnabled(enabled); }
bool ZSDK_ZTMSessionFetcher::isLoggingToFileEnabled() { return settings::toFile(); }
void ZSDK_ZTMSessionFetcher::setLoggingToFileEnabled(bool enabled) { settings::setToFile(enabled); }
std::optional<std::filesystem::path> ZSDK_ZTMSessionFetcher::loggingDirectory() {
  return settings::directory();
}
void ZSDK_ZTMSessionFetcher::setLoggingDirectory(std::optional<std::filesystem::path> directory) {
  settings::setDirectory(std::move(directory));
}
std::optional<std::filesystem::path> ZSDK_ZTMSessionFetcher::logDirectoryForCurrentRun() {
  return settings::runDirectory();
}
void ZSDK_ZTMSessionFetcher::setLogDirectoryForCurrentRun(
    std::optional<std::filesystem::path> directory) {
  settings::setRunDirectory(std::move(directory));
}
std::string ZSDK_ZTMSessionFetcher::loggingProcessName() { return settings::processName(); }
void ZSDK_ZTMSessionFetcher::setLoggingProcessName(std::string name) {
  settings::setProcessName(std::move(name));
}
std::string ZSDK_ZTMSessionFetcher::loggingDateStamp() { return settings::dateStamp(); }
void ZSDK_ZTMSessionFetcher::setLoggingDateStamp(std::string stamp) {
  settings::setDateStamp(std::move(stamp));
}
std::string ZSDK_ZTMSessionFetcher::processNameLogPrefix() { return settings::processNamePrefix(); }
std::string ZSDK_ZTMSessionFetcher::symlinkNameSuffix() { return settings::kSymlinkNameSuffix; }
std::string ZSDK_ZTMSessionFetcher::htmlFileName() { return settings::kHTMLFileName; }

// Per-fetch values.

std::string ZSDK_ZTMSessionFetcher::log() const { return log_.log(); }
std::optional<Bytes> ZSDK_ZTMSessionFetcher::loggedStreamData() const { return log_.streamData(); }
void ZSDK_ZTMSessionFetcher::appendLoggedStreamData(const uint8_t* bytes, size_t length) {
  log_.appendStreamData(bytes, length);
}
void ZSDK_ZTMSessionFetcher::clearLoggedStreamData() { log_.setStreamData(std::nullopt); }
std::optional<platform::URL> ZSDK_ZTMSessionFetcher::redirectedFromURL() const {
  return log_.redirectedFrom();
}
void ZSDK_ZTMSessionFetcher::setLogRequestBody(std::optional<std::string> text) {
  log_.setRequestBody(std::move(text));
}
void ZSDK_ZTMSessionFetcher::setLogResponseBody(std::optional<std::string> text) {
  log_.setResponseBody(std::move(text));
}

// Uploaded streams.

std::shared_ptr<platform::net::InputStream> ZSDK_ZTMSessionFetcher::loggedInputStreamForInputStream(
    std::shared_ptr<platform::net::InputStream> stream) {
  if (!stream || !isLoggingEnabled()) return stream;
  clearLoggedStreamData();
  auto monitor = ZSDK_ZTMReadMonitorInputStream::inputStreamWithStream(std::move(stream));
  monitor->setReadDelegate(weak_from_this(),
                           [weak = weak_from_this()](ZSDK_ZTMReadMonitorInputStream&,
                                                     const uint8_t* bytes, int64_t length) {
                             if (Ptr fetcher = weak.lock()) {
                               fetcher->appendLoggedStreamData(bytes, static_cast<size_t>(length));
                             }
                           });
  return monitor;
}

ZSDK_ZTMSessionFetcher::BodyStreamProvider
ZSDK_ZTMSessionFetcher::loggedStreamProviderForStreamProvider(BodyStreamProvider provider) {
  if (!provider || !isLoggingEnabled()) return provider;
  return [weak = weak_from_this(),
          provider](std::function<void(std::shared_ptr<platform::net::InputStream>)> completion) {
    provider([weak, completion](std::shared_ptr<platform::net::InputStream> stream) {
      Ptr fetcher = weak.lock();
      completion(fetcher ? fetcher->loggedInputStreamForInputStream(std::move(stream)) : stream);
    });
  };
}

// One entry.

void ZSDK_ZTMSessionFetcher::logNowWithError(const std::optional<Error>& error) {
  logFetchWithError(error);
}

void ZSDK_ZTMSessionFetcher::logFetchWithError(const std::optional<Error>& error) {
  if (!isLoggingEnabled()) return;
  std::optional<std::filesystem::path> runDirectory = settings::runDirectory();
  if (!runDirectory) return;
  LogEntry entry;
  entry.number = settings::nextFetchNumber();
  entry.runDirectory = *runDirectory;
  entry.transcriptName = format("fetch_%d.txt", entry.number);
  logResponseBody(entry);
  const std::filesystem::path page = entry.runDirectory / settings::kHTMLFileName;
  if (!platform::FileManager::fileExists(page)) {
    entry.html =
        "<html><head><meta http-equiv=\"content-type\" content=\"text/html; "
        "charset=UTF-8\"><title>" +
        settings::processName() + " HTTP fetch log " + settings::dateStamp() + "</title>";
  }
  const std::string date = currentDateText();
  const std::string comment = this->comment();
  entry.html += "<b>" + date + " &nbsp;&nbsp;&nbsp;&nbsp; ";
  if (!comment.empty()) entry.html += comment + " &nbsp;&nbsp;&nbsp;&nbsp; ";
  entry.html += "</b><a href='" + entry.transcriptName + "'><i>request/response log</i></a><br>";
  if (!comment.empty()) entry.transcript += comment + "\n\n";
  entry.transcript += date + "\n";
  logRequest(entry);
  logResponse(entry, error);
  writeLogEntry(entry);
}

void ZSDK_ZTMSessionFetcher::logResponseBody(LogEntry& entry) {
  const int64_t length = downloadedLength();
  if (length > 0) entry.responseData = downloadedData();
  std::optional<URL> destination = destinationFileURL();
  if (!entry.responseData && length < 20000 && destination) {
    if (std::optional<std::string> path = destination->filePath()) {
      if (auto read = platform::FileManager::contentsOfFile(*path); read.ok()) {
        entry.responseData = *read;
      }
    }
  }
  std::optional<URLResponse> current = response();
  std::string contentType;
  if (current) {
    contentType = current->headers.value("Content-Type").value_or("");
    entry.mimeType = current->mimeType;
  }
  entry.responseText =
      fetch_log_text::formattedStringFromData(entry.responseData, contentType, &entry.responseJSON);
  if (!entry.responseText) {
    if (entry.mimeType == "image/jpeg") entry.responseExtension = "jpg";
    if (entry.mimeType == "image/gif") entry.responseExtension = "gif";
    if (entry.mimeType == "image/png") entry.responseExtension = "png";
  } else if (entry.mimeType == "application/atom+xml" || entry.mimeType.ends_with("/xml")) {
    entry.responseExtension = "xml";
    entry.responseData = platform::bytesOf(*entry.responseText);
  }
  if (entry.responseExtension.empty() || !entry.responseData) {
    entry.responseExtension.clear();
    return;
  }
  entry.responseFileName =
      format("fetch_%d_response", entry.number) + "." + entry.responseExtension;
  if (!isLoggingToFileEnabled()) return;
  std::string failure;
  if (!writeWhole(entry.runDirectory / entry.responseFileName,
                  platform::stringOf(*entry.responseData), failure)) {
    reportWriteError(failure, entry.responseFileName);
  }
}

void ZSDK_ZTMSessionFetcher::logRequest(LogEntry& entry) {
  const std::optional<URLRequest> request = this->request();
  const std::optional<URL> url = request ? request->url : std::nullopt;
  const std::optional<URL> previous = log_.exchangeRedirectedFrom(url);
  const std::string urlText = url ? url->absoluteString() : "";
  const std::string method = request ? request->httpMethod : "";
  if (previous) {
    entry.html += "<FONT COLOR='#990066'><i>redirected from " + previous->absoluteString() +
                  "</i></FONT><br>";
    entry.transcript += "Redirected from " + previous->absoluteString() + "\n";
  }
  entry.html += "<b>request:</b> " + method + " <code>" + urlText + "</code><br>\n";
  entry.transcript += "Request: " + method + " " + urlText + "\n";
  const platform::net::HTTPHeaderFields headers =
      request ? request->headers : platform::net::HTTPHeaderFields();
  if (headers.empty()) {
    entry.html += "&nbsp;&nbsp; headers: none<br>";
  } else {
    std::string marks;
    if (headers.value("Authorization")) {
      marks += url && url->scheme() == "http"
                   ? "&nbsp;&nbsp;&nbsp;<i>authorized, non-SSL</i><FONT COLOR='#FF00FF'> "
                     "&#x26A0;</FONT> "
                   : "&nbsp;&nbsp;&nbsp;<i>authorized</i>";
    }
    if (headers.value("Cookie")) marks += "&nbsp;&nbsp;&nbsp;<i>cookies</i>";
    if (headers.value("If-Match")) marks += "&nbsp;&nbsp;&nbsp;<i>if-match</i>";
    if (headers.value("If-None-Match")) marks += "&nbsp;&nbsp;&nbsp;<i>if-none-match</i>";
    entry.html += format("&nbsp;&nbsp; headers: %d  ", static_cast<int>(headers.fields().size())) +
                  marks + "<br>";
    entry.transcript +=
        "Request headers:\n" + fetch_log_text::headersStringForDictionary(headers) + "\n";
  }
  // The body: the stream as it was read, else the bytes given, else the request's own.
  std::optional<Bytes> body = loggedStreamData();
  if (!body) body = bodyData();
  if (!body && request) body = request->httpBody;
  uint64_t length = body ? body->size() : 0;
  if (length == 0) {
    if (std::optional<URL> file = bodyFileURL()) {
      const std::string path = file->filePath().value_or("");
      if (auto attributes = platform::FileManager::attributesOfItem(path); attributes.ok()) {
        length = attributes->size;
        if (length > 0 && length < 50000) {
          if (auto read = platform::FileManager::contentsOfFile(path); read.ok()) body = *read;
        }
      }
    }
  }
  if (length == 0) return;
  const std::string contentType = headers.value("Content-Type").value_or("");
  entry.html += format("&nbsp;&nbsp; data: %llu bytes, <code>%s</code><br>\n",
                       static_cast<unsigned long long>(length),
                       contentType.empty() ? "(no type)" : contentType.c_str());
  std::optional<std::string> text = log_.takeRequestBody();
  if (!text) {
    text = fetch_log_text::stringFromStreamData(body, contentType);
    text = snipSubstringOfString(text, "client_secret=", "&");
    text = snipSubstringOfString(text, "refresh_token=", "&");
    text = snipSubstringOfString(text, "&Passwd=", "&");
  }
  entry.transcript +=
      format("Request body: (%llu bytes)\n", static_cast<unsigned long long>(length));
  if (text) entry.transcript += *text + "\n";
  entry.transcript += "\n";
}

void ZSDK_ZTMSessionFetcher::logResponse(LogEntry& entry, const std::optional<Error>& error) {
  const std::optional<URLResponse> current = response();
  const int64_t length = downloadedLength();
  if (current) {
    const int status = statusCode();
    std::string statusText;
    if (status == 200 || status == 201) {
      statusText = std::to_string(status);
      const platform::Value& jsonError = entry.responseJSON["error"];
      if (jsonError.isDictionary() &&
          (!jsonError["code"].isNull() || !jsonError["message"].isNull())) {
        const platform::Value& code = jsonError["code"];
        const std::string codeText =
            code.isNull() ? ""
                          : (code.isString() ? code.stringOr("") : std::to_string(code.intOr(0)));
        statusText += "&nbsp;&nbsp;&nbsp;<i>JSON error:</i> <FONT COLOR='#FF00FF'>" + codeText +
                      " " + jsonError["message"].stringOr("") + " &nbsp;&#x2691;</FONT>";
      }
    } else if (status != 0) {
      statusText = format("<FONT COLOR='#FF00FF'>%d %s %s</FONT>", status,
                          platform::net::localizedStringForHTTPStatusCode(status).c_str(),
                          status >= 400 ? "&nbsp;&#x2691;" : "");
    }
    std::string urlText;
    const std::optional<URLRequest> request = this->request();
    if (!request || !request->url || current->url != *request->url) {
      urlText = "<FONT COLOR='#FF00FF'>response URL:</FONT> <code>" +
                current->url.absoluteString() + "</code><br>\n";
    }
    entry.html += "<b>response:</b>&nbsp;&nbsp;status " + statusText + "<br>\n" + urlText;
    const platform::net::HTTPHeaderFields& headers = current->headers;
    if (headers.empty()) {
      entry.html += "&nbsp;&nbsp; headers: none<br>\n";
    } else {
      const std::string cookies =
          headers.value("Set-Cookie")
              ? "&nbsp;&nbsp;<FONT COLOR='#990066'><i>sets cookies</i></FONT>"
              : "";
      const std::string redirects =
          headers.value("Location") && status >= 300 && status <= 399
              ? "&nbsp;&nbsp;<FONT COLOR='#990066'><i>redirects</i></FONT>"
              : "";
      entry.html +=
          format("&nbsp;&nbsp; headers: %d  %s %s<br>\n", static_cast<int>(headers.fields().size()),
                 cookies.c_str(), redirects.c_str());
    }
    entry.transcript += format("Response: status %d\n", status);
    entry.transcript +=
        "Response headers:\n" + fetch_log_text::headersStringForDictionary(headers) + "\n";
    entry.transcript += format("Response body: (%lld bytes)\n", static_cast<long long>(length));
    if (length > 0) {
      std::optional<std::string> text = log_.takeResponseBody();
      if (!text) text = entry.responseText;
      const std::optional<URL> destination = destinationFileURL();
      if (text) {
        entry.transcript += *text + "\n";
      } else if (destination) {
        entry.transcript += format("<<%lld bytes>>  to file %s\n", static_cast<long long>(length),
                                   destination->filePath().value_or("").c_str());
      } else {
        entry.transcript += format("<<%lld bytes>>\n", static_cast<long long>(length));
      }
    }
  }
  if (error) {
    entry.html += "<b>Error:</b> " + error->description() + " <br>\n";
    entry.transcript += "Error: " + error->description() + "\n";
  }
  const std::string mime = entry.mimeType.empty() ? "(no response type)" : entry.mimeType;
  if (entry.responseFileName.empty()) {
    entry.html += format("&nbsp;&nbsp; data: %lld bytes, <code>%s</code>\n",
                         static_cast<long long>(length), mime.c_str());
    return;
  }
  const std::string escaped =
      platform::percentEncode(entry.responseFileName, platform::kURLPathAllowed);
  if (entry.responseExtension == "xml") {
    entry.html += format(
        "&nbsp;&nbsp; data: %lld bytes, <code>%s</code>&nbsp;&nbsp;&nbsp;<i><a "
        "href=\"%s\">%s</a></i>\n",
        static_cast<long long>(length), mime.c_str(), escaped.c_str(),
        entry.responseExtension.c_str());
  } else {
    entry.html += format(
        "&nbsp;&nbsp; data: %lld bytes, <code>%s</code><br><a href=\"%s\"><img "
        "src='%s' alt='image' style='border:solid thin;max-height:32'></a>\n",
        static_cast<long long>(length), mime.c_str(), escaped.c_str(), escaped.c_str());
  }
}

void ZSDK_ZTMSessionFetcher::writeLogEntry(const LogEntry& entry) {
  log_.setLog(entry.transcript);
  if (!isLoggingToFileEnabled()) return;
  const std::filesystem::path transcriptPath = entry.runDirectory / entry.transcriptName;
  std::string failure;
  if (!writeWhole(transcriptPath, entry.transcript + std::string(59, '-') + "\n", failure)) {
    reportWriteError(failure, transcriptPath.string());
  }
  const std::filesystem::path page = entry.runDirectory / settings::kHTMLFileName;
  appendToFile(page, entry.html + "<br><hr><p>");
  if (std::optional<std::filesystem::path> directory = settings::directory()) {
    const std::filesystem::path link =
        *directory / (settings::processName() + settings::kSymlinkNameSuffix);
    std::error_code ignored;
    std::filesystem::remove(link, ignored);
    std::filesystem::create_symlink(page, link, ignored);
    if (settings::takeFirstReport()) {
      platform::logf("ZTMSessionFetcher logging to \"%s\"", directory->c_str());
    }
  }
}
