#pragma once

// Internal to URL loading: what runs one task on its engine's thread, leg by leg (redirects and
// authentication answers start new legs), and reports it to the session's delegate. That thread
// only; what other threads learn of the task goes through its TaskRecord.

#include <curl/curl.h>
#include <openssl/x509.h>

#include <chrono>
#include <map>
#include <optional>

#include "platform/dispatch/clock.h"
#include "platform/net/c_handles.h"
#include "platform/net/leg_body.h"
#include "platform/net/response_head.h"
#include "platform/net/task_body.h"

namespace platform::net {

class CurlEngine;

class TaskDriver {
 public:
  using RealTime = std::chrono::steady_clock::time_point;

  TaskDriver(CurlEngine& engine, TaskRun run);
  ~TaskDriver();
  TaskDriver(const TaskDriver&) = delete;
  TaskDriver& operator=(const TaskDriver&) = delete;

  void start();
  void cancel();
  // Answers of the delegate.
  void answerBodyStream(std::shared_ptr<InputStream> stream);
  void answerRedirect(std::optional<URLRequest> request);
  void answerChallenge(AuthChallengeDisposition disposition,
                       std::optional<URLCredential> credential);
  void answerDisposition(ResponseDisposition disposition);
  // The delegate was asked about the response at the end of the engine's turn.
  void flush();
  // The delegate caught up with delivered bytes; the body stream has bytes again.
  void resumeReceiving();
  void resumeSending();
  // Resumes sending once a body stream that had nothing to give has bytes (or its end).
  void wakeWhenReadable(InputStream& stream);
  // The engine took the finished transfer out of the multi handle.
  void transferDone(CURLcode code);

  // Time-outs, on the platform clock (virtual in tests): a transfer without bytes moving, and a
  // leg that takes longer than the configuration allows.
  std::optional<MonotonicTime> nextDeadline() const;
  void onDeadline(MonotonicTime now);
  // When a response held back for the rest of a small body is due to go to the delegate anyway
  // (a real-time grace of a few milliseconds, not a time-out).
  std::optional<RealTime> responseDue() const;

  bool finished() const { return phase_ == Phase::Finished; }

 private:
  void addTrustProblem(Error& error) const;
  enum class Phase {
    Idle,
    AwaitingBodyStream,
    Transferring,
    AwaitingRedirect,
    AwaitingChallenge,
    Finishing,  // the final response is known; waiting for the disposition or the transfer
    Finished,
  };
  // What the current leg's response turned out to be.
  enum class Role { Unknown, Redirect, Challenge, Final };

  static size_t onHeader(char* buffer, size_t size, size_t count, void* self);
  static size_t onWrite(char* buffer, size_t size, size_t count, void* self);
  static size_t onRead(char* buffer, size_t size, size_t count, void* self);
  static int onSeek(void* self, curl_off_t offset, int origin);
  static int onProgress(void* self, curl_off_t downloadTotal, curl_off_t downloaded,
                        curl_off_t uploadTotal, curl_off_t uploaded);
  static CURLcode onSSLContext(CURL* easy, void* context, void* self);
  static int onVerifyChain(X509_STORE_CTX* context, void* self);

  void askForBodyStream();
  void startLeg();
  bool validHeaders();
  void resetLeg();
  bool prepareBody();
  void configureEasy();
  void configureTLSAndCredentials();
  void configureMethodAndHeaders();
  size_t headerLine(std::string_view line);
  size_t bodyBytes(const char* data, size_t size);
  size_t downloadBytes(const char* data, size_t size);
  void storeCookies();
  void becomeFinal();
  void finishWithFinalResponse();
  void speculate();
  void proposeRedirect();
  void challengeAuthentication();
  void challengeServerTrust();
  void askAboutChallenge(URLAuthenticationChallenge challenge);
  void restartLeg();
  void deliverData(Bytes data);
  void advance();
  void deliverDownloadedFile();
  void deliverDataURL();
  bool openDownloadFile();
  void discardDownloadFile();
  void complete(std::optional<Error> error);
  void finishDelivered();
  void removeTransfer();
  void unpause();
  void touch();
  bool idleClockRuns() const;
  std::string urlText() const;
  std::string hostKey() const;

  CurlEngine& engine_;
  const TaskPtr task_;
  const std::shared_ptr<URLSession> session_;
  const std::shared_ptr<const TaskBody> taskBody_;
  const std::shared_ptr<TaskRecord> record_;
  Phase phase_ = Phase::Idle;
  // The current leg's request, shared with the task's record (its body is not copied).
  std::shared_ptr<const URLRequest> request_;
  CurlEasy easy_;
  CurlHeaderList headerList_;
  bool inMulti_ = false;
  char errorBuffer_[CURL_ERROR_SIZE] = {};

  // The current leg.
  Role role_ = Role::Unknown;
  ResponseHeadParser head_;
  std::optional<URLResponse> response_;
  Bytes held_;  // body bytes waiting for a decision
  LegBody body_;
  std::shared_ptr<InputStream> bodyStream_;  // from the delegate
  bool delegateStream_ = false;              // the body comes from bodyStream_
  std::optional<CURLcode> result_;           // the finished leg's outcome
  std::optional<Error> abortError_;          // why our own callback stopped the transfer
  std::vector<Bytes> peerChain_;
  int64_t lastUploaded_ = 0;
  bool pausedReceiving_ = false;
  bool pausedSending_ = false;
  MonotonicTime lastActivity_{};
  Duration idleLimit_{0};
  std::optional<MonotonicTime> legDeadline_;

  // Across legs.
  int redirects_ = 0;
  bool retriedOnFreshConnection_ = false;
  bool freshConnection_ = false;   // the next leg opens a connection of its own
  int failedAnswers_[2] = {0, 0};  // server, proxy
  std::optional<URLCredential> credential_[2];
  std::string credentialScheme_[2];
  std::map<std::string, std::string> acceptedPins_;  // "host:port" -> public-key pin
  bool dispositionAsked_ = false;
  bool responsePending_ = false;
  RealTime responseHeldSince_{};
  bool dispositionAllowed_ = false;
  std::filesystem::path downloadPath_;
  File downloadFile_;
};

}  // namespace platform::net
