#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

namespace platform::net {

// The domain of the underlying error that says why a server's certificate was not trusted.
inline constexpr const char* kServerTrustErrorDomain = "ServerTrustErrorDomain";

// The certificate chain a server presented for a host, and its evaluation under the default
// policy: the chain leads to a trusted anchor (the system's or one added below), is in date,
// and names the host.
class ServerTrust {
 public:
  enum class Result {
    Invalid = 0,
    Proceed = 1,
    Deny = 3,
    Unspecified = 4,              // trusted, without an explicit user decision
    RecoverableTrustFailure = 5,  // e.g. self-signed, expired or for another name
    FatalTrustFailure = 6,        // e.g. no certificate or one that cannot be read
    OtherError = 7,
  };

  ServerTrust(std::string host, std::vector<Bytes> chain)
      : host_(std::move(host)), chain_(std::move(chain)) {}

  const std::string& host() const { return host_; }
  // DER certificates, the server's own first.
  const std::vector<Bytes>& certificateChain() const { return chain_; }
  Result evaluate() const;
  // Why the chain is not trusted ("self-signed certificate", "certificate has expired", ...);
  // nothing when it is.
  std::optional<std::string> problem() const;
  // The server certificate's public key as a pin ("sha256//" and the base64 of the SHA-256 of
  // its DER SubjectPublicKeyInfo); empty when there is no readable certificate.
  std::string publicKeyPin() const;

 private:
  std::string host_;
  std::vector<Bytes> chain_;
};

// Adds a PEM certificate that URL loading trusts as an anchor besides the system's (a private
// CA of a deployment, or a test server's certificate).
Status addTrustedAnchorCertificate(std::string_view pem);
// Forgets the anchors added; the system's stay.
void removeTrustedAnchorCertificates();

}  // namespace platform::net
