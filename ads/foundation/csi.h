#pragma once

// CSI latency reports: the engine measures named intervals per action ("load_ad_ios",
// "make_wv", "load_med") and, when asked, sends per action one GET to the CSI endpoint whose
// query lists the completed intervals in milliseconds. Whether a process reports is drawn once,
// with the server's probability. Reports are sent directly, never retried.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/notification_center.h"
#include "platform/foundation/error.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/foundation/url.h"
#include "platform/net/url_request.h"

// One interval, in seconds of the recorder clock: running while its length is negative. Valid
// when both start and length are above 0; one still running when the app resigns active can no
// longer be valid (the app may sleep in between). Thread-safe.
class ZADCSIVariableTiming : public std::enable_shared_from_this<ZADCSIVariableTiming> {
 public:
  static std::shared_ptr<ZADCSIVariableTiming> make(std::string name, double start);

  const std::string& name() const { return name_; }
  double start() const;
  void setStart(double start);
  double length() const;
  void setLength(double length);
  bool isValid() const;
  void resigningActive();

 private:
  ZADCSIVariableTiming(std::string name, double start) : name_(std::move(name)), start_(start) {}

  const std::string name_;
  mutable platform::Mutex mutex_;
  double start_ VKR_GUARDED_BY(mutex_);
  double length_ VKR_GUARDED_BY(mutex_) = -1.0;
  platform::NotificationCenter::Observation resignObservation_;
};

// The intervals, experiment ids and extra parameters of one action. Thread-safe: everything is
// kept under one lock.
class ZADCSITimeRecorder {
 public:
  explicit ZADCSITimeRecorder(std::string action) : action_(std::move(action)) {}

  // Seconds on the monotonic clock.
  static double currentTime();
  void startTimeRecorder();

  // Starts a variable under the key (replacing a running one); nothing for an empty name.
  void startTimingVariableWithName(const std::string& name, const std::string& key);
  void startTimingVariableWithName(const std::string& name) {
    startTimingVariableWithName(name, name);
  }
  // Ends the running variable under the key and keeps it as completed: under the key, or, when
  // that is taken, under the key followed by a random number.
  void endTimingVariableWithName(const std::string& name, const std::string& key);
  void endTimingVariableWithName(const std::string& name) { endTimingVariableWithName(name, name); }
  // Ends the variable and answers its length in whole milliseconds; 0 when it was not running.
  int64_t durationAfterEndTimingVariableWithName(const std::string& name);
  void cancelTimingVariableWithName(const std::string& name, const std::string& key);
  void cancelTimingVariableWithName(const std::string& name) {
    cancelTimingVariableWithName(name, name);
  }

  void addCompletedVariable(const std::shared_ptr<ZADCSIVariableTiming>& variable);
  void addCompletedVariable(const std::shared_ptr<ZADCSIVariableTiming>& variable,
                            const std::string& key);
  void removeCompletedVariableForKey(const std::string& key);
  std::map<std::string, std::shared_ptr<ZADCSIVariableTiming>> ongoingVariables() const;
  std::map<std::string, std::shared_ptr<ZADCSIVariableTiming>> completedVariables() const;
  // The valid completed variables, taken out of the recorder (they are reported once).
  std::vector<std::shared_ptr<ZADCSIVariableTiming>> takeValidCompletedVariables();

  // Duplicates are kept; removing takes every equal one.
  void addExperimentID(const std::string& experimentID);
  void removeExperimentID(const std::string& experimentID);
  std::vector<std::string> experimentIDs() const;
  // Kept when the key is not empty.
  void setCustomizedParameterValue(const std::string& value, const std::string& key);
  platform::Dictionary customizedParameters() const;

  std::string action() const;
  void setAction(std::string action);
  bool reportIRT() const;
  void setReportIRT(bool reportIRT);
  double startTime() const;

 private:
  // The running variable's length once ended; nothing when none ran under the key.
  std::optional<double> endVariable(const std::string& name, const std::string& key);

  mutable platform::Mutex mutex_;
  std::map<std::string, std::shared_ptr<ZADCSIVariableTiming>> completedVariables_
      VKR_GUARDED_BY(mutex_);
  std::map<std::string, std::shared_ptr<ZADCSIVariableTiming>> ongoingVariables_
      VKR_GUARDED_BY(mutex_);
  std::vector<std::string> experimentIDs_ VKR_GUARDED_BY(mutex_);
  platform::Dictionary customizedParameters_ VKR_GUARDED_BY(mutex_);
  std::string action_ VKR_GUARDED_BY(mutex_);
  bool reportIRT_ VKR_GUARDED_BY(mutex_) = false;
  double startTime_ VKR_GUARDED_BY(mutex_) = 0;
};

// Where and as what reports go. Thread-safe.
class ZADCSIConfiguration {
 public:
  static constexpr const char* kDefaultServer = "https://csi.zorova.example/csi";

  explicit ZADCSIConfiguration(std::string serviceName) : serviceName_(std::move(serviceName)) {}

  // "Simulator" on a simulator; else the machine's name with "/" before its first digit and
  // "," made "."; "Unknown" without one.
  static std::string deviceVersionString();
  // "ZorovaCsi/1.0 (<device>; U; CPU <OS name> <OS version, "_" for ".">; <locale, "-" for "_">)
  // <bundle name>/<bundle version>", built once.
  std::string userAgent();
  // Draws whether this process reports: 1000·p chances in 1000.
  void setReportingProbability(float probability);

  bool reportingEnabled() const;
  void setReportingEnabled(bool enabled);
  std::string server() const;
  void setServer(std::string server);
  std::string serviceName() const;
  int64_t version() const { return 3; }

 private:
  mutable platform::Mutex mutex_;
  std::optional<std::string> cachedUserAgentString_ VKR_GUARDED_BY(mutex_);
  bool reportingEnabled_ VKR_GUARDED_BY(mutex_) = true;
  std::string server_ VKR_GUARDED_BY(mutex_) = kDefaultServer;
  const std::string serviceName_;
};

// Builds and sends the report of one recorder.
class ZADCSIReporter {
 public:
  using Completion = std::function<void(const std::optional<platform::net::URLResponse>& response,
                                        const std::optional<platform::Error>& error)>;

  explicit ZADCSIReporter(std::shared_ptr<ZADCSIConfiguration> configuration)
      : configuration_(std::move(configuration)) {}

  // Sends the recorder's report, when reporting is on and there is one; the completion (may be
  // null) runs on the main queue with the answer.
  void reportTimeRecorder(ZADCSITimeRecorder& recorder, Completion completion);
  // The report URL, taking the valid completed variables out of the recorder; nothing when no
  // variable is valid (an empty report would only repeat the recorder's settings).
  std::optional<platform::URL> URLForTimeRecorder(ZADCSITimeRecorder& recorder);

 private:
  const std::shared_ptr<ZADCSIConfiguration> configuration_;
};

// The process's CSI entry point: a recorder per action and time stamps per label. Thread-safe.
class ZADCSI {
 public:
  static constexpr float kDefaultReportingProbability = 0.05f;

  static ZADCSI& sharedInstance();
  // Draws the reporting decision with the probability stored now
  // ("/zorova/ads/csi_reporting_probability", default 0.05).
  ZADCSI();

  // The action's recorder (made on first use); null when reporting is off for the process.
  std::shared_ptr<ZADCSITimeRecorder> timeRecorderForAction(const std::string& action);
  // Stores now, in milliseconds since 1970, under the label.
  void recordTimestampForLabel(const std::string& label);
  void setTimestamp(int64_t timestamp, const std::string& label);
  // 0 when none is stored.
  int64_t timestampForLabel(const std::string& label) const;
  // Sends every recorder's report and forgets the time stamps.
  void sendReport();

  std::string ZWSQueryID() const;
  void setZWSQueryID(std::string queryID);
  const std::shared_ptr<ZADCSIConfiguration>& configuration() const { return configuration_; }

 private:
  const std::shared_ptr<ZADCSIConfiguration> configuration_;
  mutable platform::Mutex mutex_;
  std::map<std::string, std::shared_ptr<ZADCSITimeRecorder>> timeRecorders_ VKR_GUARDED_BY(mutex_);
  std::map<std::string, int64_t> timestamps_ VKR_GUARDED_BY(mutex_);
  std::string ZWSQueryID_ VKR_GUARDED_BY(mutex_);
};
