#include "ads/foundation/csi.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "ads/foundation/device.h"
#include "ads/foundation/sdk_core_services.h"
#include "ads/foundation/url_additions.h"
#include "platform/dispatch/clock.h"
#include "platform/foundation/crypto.h"
#include "platform/foundation/log.h"
#include "platform/foundation/system_info.h"
#include "platform/net/url_connection.h"
#include "platform/storage/bundle.h"
#include "platform/storage/user_defaults.h"
#include "platform/ui/application.h"

namespace {

std::string replaced(std::string text, char from, char to) {
  std::replace(text.begin(), text.end(), from, to);
  return text;
}

// Whole milliseconds of a length in seconds, half away from zero.
uint64_t milliseconds(double seconds) {
  return static_cast<uint64_t>(std::llround(seconds * 1000));
}

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ",") + part;
  return text;
}

}  // namespace

// ZADCSIVariableTiming

std::shared_ptr<ZADCSIVariableTiming> ZADCSIVariableTiming::make(std::string name, double start) {
  std::shared_ptr<ZADCSIVariableTiming> variable(new ZADCSIVariableTiming(std::move(name), start));
  variable->resignObservation_ = platform::NotificationCenter::defaultCenter().addObserver(
      platform::ui::kApplicationWillResignActiveNotification, nullptr,
      [weak = std::weak_ptr<ZADCSIVariableTiming>(variable)](const platform::Notification&) {
        if (auto self = weak.lock()) self->resigningActive();
      });
  return variable;
}

double ZADCSIVariableTiming::start() const {
  platform::MutexLock lock(mutex_);
  return start_;
}

void ZADCSIVariableTiming::setStart(double start) {
  platform::MutexLock lock(mutex_);
  start_ = start;
}

double ZADCSIVariableTiming::length() const {
  platform::MutexLock lock(mutex_);
  return length_;
}

void ZADCSIVariableTiming::setLength(double length) {
  platform::MutexLock lock(mutex_);
  length_ = length;
}

bool ZADCSIVariableTiming::isValid() const {
  platform::MutexLock lock(mutex_);
  return start_ > 0 && length_ > 0;
}

void ZADCSIVariableTiming::resigningActive() {
  platform::MutexLock lock(mutex_);
  if (length_ < 0) start_ = -1.0;
}

// ZADCSITimeRecorder

double ZADCSITimeRecorder::currentTime() {
  return platform::toSeconds(platform::monotonicNow().time_since_epoch());
}

void ZADCSITimeRecorder::startTimeRecorder() {
  const double now = currentTime();
  platform::MutexLock lock(mutex_);
  startTime_ = now;
}

void ZADCSITimeRecorder::startTimingVariableWithName(const std::string& name,
                                                     const std::string& key) {
  if (name.empty() || key.empty()) return;
  auto variable = ZADCSIVariableTiming::make(name, currentTime());
  platform::MutexLock lock(mutex_);
  ongoingVariables_[key] = std::move(variable);
}

std::optional<double> ZADCSITimeRecorder::endVariable(const std::string& name,
                                                      const std::string& key) {
  if (name.empty() || key.empty()) return std::nullopt;
  const double now = currentTime();
  platform::MutexLock lock(mutex_);
  auto running = ongoingVariables_.find(key);
  if (running == ongoingVariables_.end()) return std::nullopt;
  std::shared_ptr<ZADCSIVariableTiming> variable = running->second;
  ongoingVariables_.erase(running);
  const double length = now - variable->start();
  variable->setLength(length);
  std::string completedKey = key;
  if (completedVariables_.contains(completedKey)) {
    completedKey = platform::format("%s%ld", key.c_str(), long(platform::randomUInt32()));
  }
  completedVariables_[completedKey] = std::move(variable);
  return length;
}

void ZADCSITimeRecorder::endTimingVariableWithName(const std::string& name,
                                                   const std::string& key) {
  (void)endVariable(name, key);
}

int64_t ZADCSITimeRecorder::durationAfterEndTimingVariableWithName(const std::string& name) {
  std::optional<double> length = endVariable(name, name);
  return length ? std::llround(*length * 1000) : 0;
}

void ZADCSITimeRecorder::cancelTimingVariableWithName(const std::string& name,
                                                      const std::string& key) {
  (void)name;
  platform::MutexLock lock(mutex_);
  ongoingVariables_.erase(key);
}

void ZADCSITimeRecorder::addCompletedVariable(
    const std::shared_ptr<ZADCSIVariableTiming>& variable) {
  if (variable) addCompletedVariable(variable, variable->name());
}

void ZADCSITimeRecorder::addCompletedVariable(const std::shared_ptr<ZADCSIVariableTiming>& variable,
                                              const std::string& key) {
  if (!variable) return;
  platform::MutexLock lock(mutex_);
  completedVariables_[key] = variable;
}

void ZADCSITimeRecorder::removeCompletedVariableForKey(const std::string& key) {
  platform::MutexLock lock(mutex_);
  completedVariables_.erase(key);
}

std::map<std::string, std::shared_ptr<ZADCSIVariableTiming>> ZADCSITimeRecorder::ongoingVariables()
    const {
  platform::MutexLock lock(mutex_);
  return ongoingVariables_;
}

std::map<std::string, std::shared_ptr<ZADCSIVariableTiming>>
ZADCSITimeRecorder::completedVariables() const {
  platform::MutexLock lock(mutex_);
  return completedVariables_;
}

std::vector<std::shared_ptr<ZADCSIVariableTiming>>
ZADCSITimeRecorder::takeValidCompletedVariables() {
  std::vector<std::shared_ptr<ZADCSIVariableTiming>> valid;
  platform::MutexLock lock(mutex_);
  for (auto it = completedVariables_.begin(); it != completedVariables_.end();) {
    if (it->second->isValid()) {
      valid.push_back(it->second);
      it = completedVariables_.erase(it);
    } else {
      ++it;
    }
  }
  return valid;
}

void ZADCSITimeRecorder::addExperimentID(const std::string& experimentID) {
  platform::MutexLock lock(mutex_);
  experimentIDs_.push_back(experimentID);
}

void ZADCSITimeRecorder::removeExperimentID(const std::string& experimentID) {
  platform::MutexLock lock(mutex_);
  std::erase(experimentIDs_, experimentID);
}

std::vector<std::string> ZADCSITimeRecorder::experimentIDs() const {
  platform::MutexLock lock(mutex_);
  return experimentIDs_;
}

void ZADCSITimeRecorder::setCustomizedParameterValue(const std::string& value,
                                                     const std::string& key) {
  if (key.empty()) return;
  platform::MutexLock lock(mutex_);
  customizedParameters_.set(key, value);
}

platform::Dictionary ZADCSITimeRecorder::customizedParameters() const {
  platform::MutexLock lock(mutex_);
  return customizedParameters_;
}

std::string ZADCSITimeRecorder::action() const {
  platform::MutexLock lock(mutex_);
  return action_;
}

void ZADCSITimeRecorder::setAction(std::string action) {
  platform::MutexLock lock(mutex_);
  action_ = std::move(action);
}

bool ZADCSITimeRecorder::reportIRT() const {
  platform::MutexLock lock(mutex_);
  return reportIRT_;
}

void ZADCSITimeRecorder::setReportIRT(bool reportIRT) {
  platform::MutexLock lock(mutex_);
  reportIRT_ = reportIRT;
}

double ZADCSITimeRecorder::startTime() const {
  platform::MutexLock lock(mutex_);
  return startTime_;
}

// ZADCSIConfiguration

std::string ZADCSIConfiguration::deviceVersionString() {
  if (ZADDevice::isSimulator()) return "Simulator";
  std::string machine = platform::machineName();
  if (machine.empty()) return "Unknown";
  auto digit =
      std::find_if(machine.begin(), machine.end(), [](unsigned char c) { return std::isdigit(c); });
  if (digit != machine.end()) machine.insert(digit, '/');
  return replaced(std::move(machine), ',', '.');
}

std::string ZADCSIConfiguration::userAgent() {
  platform::MutexLock lock(mutex_);
  if (!cachedUserAgentString_) {
    const auto bundle = platform::Bundle::mainBundle();
    cachedUserAgentString_ = platform::format(
        "ZorovaCsi/1.0 (%s; U; CPU %s %s; %s) %s/%s", deviceVersionString().c_str(),
        platform::systemName().c_str(), replaced(platform::systemVersion(), '.', '_').c_str(),
        replaced(platform::currentLocaleIdentifier(), '_', '-').c_str(),
        bundle->objectForInfoDictionaryKey("CFBundleName").stringOr("").c_str(),
        bundle->bundleVersion().c_str());
  }
  return *cachedUserAgentString_;
}

void ZADCSIConfiguration::setReportingProbability(float probability) {
  // Outside 0..1 (or not a number) the draw is certain either way.
  const float clamped = std::isnan(probability) ? 0.0f : std::clamp(probability, 0.0f, 1.0f);
  const auto chances = static_cast<uint32_t>(clamped * 1000);
  setReportingEnabled(platform::randomUInt32() % 1000 < chances);
}

bool ZADCSIConfiguration::reportingEnabled() const {
  platform::MutexLock lock(mutex_);
  return reportingEnabled_;
}

void ZADCSIConfiguration::setReportingEnabled(bool enabled) {
  platform::MutexLock lock(mutex_);
  reportingEnabled_ = enabled;
}

std::string ZADCSIConfiguration::server() const {
  platform::MutexLock lock(mutex_);
  return server_;
}

void ZADCSIConfiguration::setServer(std::string server) {
  platform::MutexLock lock(mutex_);
  server_ = std::move(server);
}

std::string ZADCSIConfiguration::serviceName() const { return serviceName_; }

// ZADCSIReporter

void ZADCSIReporter::reportTimeRecorder(ZADCSITimeRecorder& recorder, Completion completion) {
  if (!configuration_->reportingEnabled()) return;
  std::optional<platform::URL> url = URLForTimeRecorder(recorder);
  if (!url) return;
  platform::net::URLRequest request(*url);
  request.setValue(configuration_->userAgent(), "User-Agent");
  platform::net::sendAsynchronousRequest(
      std::move(request), platform::mainQueue(),
      [completion = std::move(completion)](
          const std::optional<platform::net::URLResponse>& response, const platform::Bytes&,
          const std::optional<platform::Error>& error) {
        if (completion) completion(response, error);
      });
}

std::optional<platform::URL> ZADCSIReporter::URLForTimeRecorder(ZADCSITimeRecorder& recorder) {
  platform::Result<platform::URL> server = platform::URL::parse(configuration_->server());
  if (!server.ok()) return std::nullopt;
  const std::vector<std::shared_ptr<ZADCSIVariableTiming>> variables =
      recorder.takeValidCompletedVariables();
  if (variables.empty()) return std::nullopt;

  platform::Dictionary parameters;
  parameters.set("s", configuration_->serviceName());
  parameters.set("v", configuration_->version());
  parameters.set("action", recorder.action());
  for (const auto& [key, value] : recorder.customizedParameters()) parameters.set(key, value);
  if (const std::vector<std::string> ids = recorder.experimentIDs(); !ids.empty()) {
    parameters.set("e", joined(ids));
  }
  std::vector<std::string> intervals, sinceStart;
  for (const auto& variable : variables) {
    intervals.push_back(platform::format("%s.%llu", variable->name().c_str(),
                                         (unsigned long long)milliseconds(variable->length())));
    sinceStart.push_back(
        platform::format("%s.%llu", variable->name().c_str(),
                         (unsigned long long)milliseconds(variable->start() + variable->length() -
                                                          recorder.startTime())));
  }
  parameters.set("it", joined(intervals));
  if (recorder.reportIRT()) parameters.set("irt", joined(sinceStart));
  return zad_URLByAppendingQueryParameters(*server, parameters);
}

// ZADCSI

ZADCSI& ZADCSI::sharedInstance() {
  static ZADCSI* instance = new ZADCSI();  // lives as long as the process
  return *instance;
}

ZADCSI::ZADCSI() : configuration_(std::make_shared<ZADCSIConfiguration>("zodi_sdk")) {
  auto defaults = platform::UserDefaults::standard();
  constexpr const char* kProbabilityKey = "/zorova/ads/csi_reporting_probability";
  const float probability = defaults->objectForKey(kProbabilityKey).isNull()
                                ? kDefaultReportingProbability
                                : static_cast<float>(defaults->doubleForKey(kProbabilityKey));
  configuration_->setReportingProbability(probability);
}

std::shared_ptr<ZADCSITimeRecorder> ZADCSI::timeRecorderForAction(const std::string& action) {
  if (action.empty() || !configuration_->reportingEnabled()) return nullptr;
  platform::MutexLock lock(mutex_);
  std::shared_ptr<ZADCSITimeRecorder>& recorder = timeRecorders_[action];
  if (recorder) {
    if (!ZWSQueryID_.empty()) recorder->setCustomizedParameterValue(ZWSQueryID_, "gqi");
    return recorder;
  }
  recorder = std::make_shared<ZADCSITimeRecorder>(action);
  recorder->setCustomizedParameterValue(ZADRequest::sdkVersion(), "sdkVersion");
  recorder->addExperimentID(ZADRequest::sdkVersion());
  return recorder;
}

void ZADCSI::recordTimestampForLabel(const std::string& label) {
  setTimestamp(static_cast<int64_t>(platform::now().secondsSince1970 * 1000), label);
}

void ZADCSI::setTimestamp(int64_t timestamp, const std::string& label) {
  if (label.empty()) return;
  platform::MutexLock lock(mutex_);
  timestamps_[label] = timestamp;
}

int64_t ZADCSI::timestampForLabel(const std::string& label) const {
  platform::MutexLock lock(mutex_);
  auto found = timestamps_.find(label);
  return found == timestamps_.end() ? 0 : found->second;
}

void ZADCSI::sendReport() {
  std::vector<std::shared_ptr<ZADCSITimeRecorder>> recorders;
  {
    platform::MutexLock lock(mutex_);
    for (const auto& [action, recorder] : timeRecorders_) recorders.push_back(recorder);
    timestamps_.clear();
  }
  for (const auto& recorder : recorders) {
    ZADCSIReporter(configuration_).reportTimeRecorder(*recorder, nullptr);
  }
}

std::string ZADCSI::ZWSQueryID() const {
  platform::MutexLock lock(mutex_);
  return ZWSQueryID_;
}

void ZADCSI::setZWSQueryID(std::string queryID) {
  platform::MutexLock lock(mutex_);
  ZWSQueryID_ = std::move(queryID);
}
