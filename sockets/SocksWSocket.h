#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "sockets/CustomWSocket.h"

// The proxy layer of the socket chain. With SocksServer set, Connect goes to that SOCKS proxy
// instead of the target, negotiates version 4, 4A or 5 (version 5 optionally with user name and
// password, RFC 1929), asks the proxy to connect to Addr:Port, and only then reports
// OnSessionConnected(0); while that runs State is wsSocksConnected. Bytes that the proxy sends
// behind its reply are the application's: they are delivered first, as ordinary received data.
// Any failure of the exchange fires OnSocksError with one of the codes below, then
// OnSessionConnected with that code, then closes the socket (OnSessionClosed with the code).
// Without a SOCKS server every operation is the core's.
//
// Like Addr and Port, the SOCKS server, port and level are reset by every close: set them again
// before each Connect.

enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum TSocksAuthState { socksAuthStart, socksAuthSuccess, socksAuthFailure, socksAuthNotRequired };

// The codes of OnSocksError. Each comes with its text.
constexpr int socksLogicError = 20001;       // "TWSocket logic error", "too much data availaible"
constexpr int socksVersionError = 20002;     // "socks version error"
constexpr int socksAuthMethodError = 20003;  // "authentification method not acceptable"
constexpr int socksGeneralFailure = 20004;   // "general SOCKS server failure"
constexpr int socksConnectionNotAllowed = 20005;  // "connection not allowed by ruleset"
constexpr int socksNetworkUnreachable = 20006;    // "network unreachable"
constexpr int socksHostUnreachable = 20007;       // "host unreachable"
constexpr int socksConnectionRefused = 20008;     // "connection refused"
constexpr int socksTtlExpired = 20009;            // "time to live expired"
constexpr int socksUnknownCommand = 20010;        // "command not supported"
constexpr int socksUnknownAddressType = 20011;    // "address type not supported"
constexpr int socksUnassignedError = 20012;       // "unassigned error #" and the proxy's status
constexpr int socksInternalError = 20013;         // "internal error"
constexpr int socksValueTooLong = 20014;          // a value that the request cannot carry
constexpr int socksAuthError = 20015;  // "authentification failed", "socks authentication failed"
constexpr int socksRejectedOrFailed = 20016;      // "request rejected or failed"
constexpr int socksHostResolutionFailed = 20017;  // the exception's class name and message

class TCustomSocksWSocket : public TCustomWSocket {
 public:
  using TSocksErrorEvent =
      std::function<void(TCustomWSocket* sender, int error, const std::string& msg)>;
  using TSocksAuthStateEvent = std::function<void(TCustomWSocket* sender, TSocksAuthState state)>;

  TCustomSocksWSocket() = default;
  ~TCustomSocksWSocket() override { DestroySocket(); }

  // Host name or dotted address of the proxy, stored trimmed; empty: no proxy. Only while closed.
  const std::string& SocksServer() const { return socksServer_; }
  void SetSocksServer(const std::string& value);
  // The proxy's port (number or service name), stored trimmed. Only while closed.
  const std::string& SocksPort() const { return socksPort_; }
  void SetSocksPort(const std::string& value);
  // "4", "4A" or "5" ("4a" is stored as "4A"); anything else is refused. Only while closed.
  const std::string& SocksLevel() const { return socksLevel_; }
  void SetSocksLevel(const std::string& value);
  // Version 5 only: offer user name and password instead of no authentication.
  TSocksAuthentication SocksAuthentication() const { return socksAuthentication_; }
  void SetSocksAuthentication(TSocksAuthentication value) { socksAuthentication_ = value; }
  // The user name (version 5) or user id (versions 4 and 4A); at most 255 bytes.
  const std::string& SocksUsercode() const { return socksUsercode_; }
  void SetSocksUsercode(const std::string& value) { socksUsercode_ = value; }
  // Version 5 only; at most 255 bytes.
  const std::string& SocksPassword() const { return socksPassword_; }
  void SetSocksPassword(const std::string& value) { socksPassword_ = value; }
  // The address and port (decimal) that a version 5 proxy reported for its side of the
  // connection; empty until then.
  const std::string& SocksBoundAddr() const { return boundAddr_; }
  const std::string& SocksBoundPort() const { return boundPort_; }

  void Connect() override;
  void Listen() override;
  // The bytes left behind the proxy's reply while there are any, else the core's count.
  std::int32_t RcvdCount() override;

  // The connection to the proxy is up (0) or failed (the error).
  TSessionConnected OnSocksConnected;
  TSocksErrorEvent OnSocksError;
  TSocksAuthStateEvent OnSocksAuthState;

 protected:
  // True while an exchange with a proxy runs; the line layer leaves the data alone then.
  bool SocksNegotiating() const { return socksState_ != socksData; }

  void SetDefaults() override;
  bool TriggerDataAvailable(std::uint16_t error) override;
  void TriggerSessionConnectedSpecial(std::uint16_t error) override;
  void TriggerSessionClosed(std::uint16_t error) override;
  // The requests sent to the proxy are no data of the application's.
  void TriggerDataSent(std::uint16_t error) override;
  void TriggerSendData(std::int32_t bytesSent) override;
  std::int32_t DoRecv(void* buffer, std::int32_t length, int flags) override;
  void HandleConnectEvent(std::uint16_t error) override;
  void HandleReadEvent(std::uint16_t error) override;

  virtual void TriggerSocksConnected(std::uint16_t error);
  virtual void TriggerSocksError(int error, const std::string& msg);
  virtual void TriggerSocksAuthState(TSocksAuthState state);

 private:
  enum TSocksState { socksData, socksNegotiateMethods, socksAuthenticate, socksConnect };

  bool Version4() const { return !socksLevel_.empty() && socksLevel_[0] == '4'; }
  // Reads what is waiting behind the bytes held, up to limit bytes held in all.
  void ReadReply(std::int32_t limit);
  void SendRequest(const std::string& request);
  void SendMethodOffer();
  void SendAuthentication();
  void SendConnectRequest();
  void MethodReply();
  void AuthenticationReply();
  void Version4Reply();
  void Version5Reply();
  void Granted();
  void SocksFailure(int code, const std::string& text);
  std::int32_t LeftoverCount() const {
    return static_cast<std::int32_t>(leftover_.size() - leftoverPos_);
  }

  TSocksState socksState_ = socksData;
  std::string socksServer_;
  std::string socksPort_;
  std::string socksLevel_ = "5";
  TSocksAuthentication socksAuthentication_ = socksNoAuthentication;
  std::string socksUsercode_;
  std::string socksPassword_;
  bool serverAssigned_ = false;
  bool portAssigned_ = false;
  std::uint8_t authMethod_ = 0;  // offered: 0 none, 2 user name and password
  std::uint16_t targetPort_ = 0;
  std::string boundAddr_;
  std::string boundPort_;

  // Room for the longest reply: a version 5 reply that names its bound host (4 + 1 + 255 + 2).
  static constexpr std::int32_t kReplySize = 512;
  unsigned char reply_[kReplySize] = {};
  std::int32_t replyCnt_ = 0;
  // Application data that came in the same read as the proxy's reply.
  std::string leftover_;
  std::size_t leftoverPos_ = 0;
};
