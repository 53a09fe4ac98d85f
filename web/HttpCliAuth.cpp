// THttpCli's answers to 401 and 407 (Basic and NTLM, toward the server and the proxy) and its
// handling of "Location" (relocation). Both send the same request again instead of reporting
// its end.

#include "sockets/Base64.h"
#include "text/Text.h"
#include "web/HttpCli.h"
#include "web/HttpReplyParse.h"
#include "web/Ntlm.h"
#include "web/Url.h"

namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && SameTextAscii(text.substr(0, prefix.size()), prefix);
}

// The last challenge that begins with scheme (without regard to case), or nullptr.
const std::string* FindChallenge(const std::vector<std::string>& challenges,
                                 const std::string& scheme) {
  for (auto it = challenges.rbegin(); it != challenges.rend(); ++it) {
    if (StartsWithNoCase(*it, scheme)) return &*it;
  }
  return nullptr;
}

// The text up to and including the last "/" or ":" before the first "?"; empty when none.
std::string UrlBase(const std::string& text) {
  std::string head = text.substr(0, text.find('?'));
  std::size_t cut = head.find_last_of("/:");
  return cut == std::string::npos ? std::string() : text.substr(0, cut + 1);
}

// Location names the document where it is reached, so a port other than 80 is part of it.
std::string PortSuffix(const std::string& port) {
  return port.empty() || port == "80" ? std::string() : ":" + port;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Authentication

bool THttpCli::KeepAliveForNtlm() const {
  return requestVer_ == "1.0" || responseVersion_ == "1.0" || responseVersion_.empty();
}

void THttpCli::PresetAuthentication() {
  if (!proxy_.empty() && proxyAuthKind_ != httpAuthNone && !proxyUsername_.empty() &&
      !proxyPassword_.empty()) {
    bool fresh = socket_->State() != wsConnected || !SameConnection();
    if (proxyAuthKind_ == httpAuthNtlm) {
      proxyAuthNtlmState_ = fresh ? 1 : 4;
      if (KeepAliveForNtlm()) proxyConnectionValue_ = "Keep-alive";
    } else {
      proxyAuthBasicState_ = fresh ? 1 : 2;
    }
  }
  if (serverAuthKind_ != httpAuthNone && !currentUser_.empty() && !currentPassword_.empty()) {
    if (serverAuthKind_ == httpAuthNtlm) {
      authNtlmState_ = 1;
      if (KeepAliveForNtlm()) connectionValue_ = "Keep-alive";
    } else {
      authBasicState_ = 1;
    }
  }
}

void THttpCli::AuthorizationLines(std::vector<std::string>& lines) {
  if (proxyAuthNtlmState_ != 1) {
    if (authNtlmState_ == 1) {
      lines.push_back("Authorization: NTLM " + NtlmType1Message("", ""));
    } else if (authNtlmState_ == 3) {
      lines.push_back("Authorization: NTLM " +
                      NtlmType3Message("", GetLocalHostName(), currentUser_,
                                       serverChallenge_.Challenge, currentPassword_));
    } else if (authBasicState_ == 1) {
      lines.push_back("Authorization: Basic " +
                      Base64Encode(currentUser_ + ":" + currentPassword_));
    }
  }
  if (proxyAuthNtlmState_ == 1) {
    lines.push_back("Proxy-Authorization: NTLM " + NtlmType1Message("", ""));
  } else if (proxyAuthNtlmState_ == 3) {
    lines.push_back("Proxy-Authorization: NTLM " +
                    NtlmType3Message("", GetLocalHostName(), proxyUsername_,
                                     proxyChallenge_.Challenge, proxyPassword_));
  } else if (proxyAuthBasicState_ == 1) {
    lines.push_back("Proxy-Authorization: Basic " +
                    Base64Encode(proxyUsername_ + ":" + proxyPassword_));
  }
}

bool THttpCli::AuthenticationDecision() {
  int status = statusCode_;
  bool denied = status == 401 || status == 407;
  if (authNtlmState_ == 3 && !denied)
    authNtlmState_ = 4;
  else if (authNtlmState_ == 4 && status == 401)
    authNtlmState_ = 0;
  if (proxyAuthNtlmState_ == 3 && status != 407)
    proxyAuthNtlmState_ = 4;
  else if (proxyAuthNtlmState_ == 4 && status == 407)
    proxyAuthNtlmState_ = 0;
  if (authBasicState_ == 1 && !denied)
    authBasicState_ = 2;
  else if (authBasicState_ == 2 && status == 401)
    authBasicState_ = 0;
  if (proxyAuthBasicState_ == 1 && status != 407)
    proxyAuthBasicState_ = 2;
  else if (proxyAuthBasicState_ == 2 && status == 407)
    proxyAuthBasicState_ = 0;

  bool resend = false;
  bool exchange = PrepareNTLMAuth(resend);
  if (!exchange) exchange = StartBasicAuthRound(resend);
  if (!exchange) return false;

  if (status == 401) {
    if (closeReq_) {
      // The next request goes over a new connection, which the proxy has not seen yet.
      if (proxyAuthNtlmState_ == 4)
        proxyAuthNtlmState_ = 1;
      else if (proxyAuthBasicState_ == 2)
        proxyAuthBasicState_ = 1;
    } else {
      if (proxyAuthNtlmState_ < 4)
        proxyAuthNtlmState_ = 0;
      else if (proxyAuthBasicState_ < 2)
        proxyAuthBasicState_ = 0;
    }
  }
  if (resend) {
    RewindStreams();
    receiveLength_ = 0;
    ResetReplyState(true);
  }
  return true;
}

bool THttpCli::PrepareNTLMAuth(bool& resend) {
  resend = false;
  auto traceStates = [this](const char* where) {
    if (!Tracing(loProtSpecDump)) return;
    char buf[160];
    std::snprintf(buf, sizeof(buf),
                  "PrepareNTLMAuth %s, FStatusCode = %d FProxyAuthNTLMState=%d FAuthNTLMState=%d",
                  where, statusCode_, proxyAuthNtlmState_, authNtlmState_);
    Trace(loProtSpecDump, buf);
  };
  traceStates("begin");
  int status = statusCode_;
  bool allowed =
      !options_.Contains(httpoNoNTLMAuth) || ((status != 401 || serverAuthKind_ == httpAuthNtlm) &&
                                              (status != 407 || proxyAuthKind_ == httpAuthNtlm));
  bool result = false;
  if (allowed) {
    if (status == 401 && !authChallenges_.empty() && authBasicState_ == 0 &&
        !currentUser_.empty() && !currentPassword_.empty() &&
        FindChallenge(authChallenges_, "NTLM") != nullptr) {
      result = true;
      NTLMRoundStep(false);
      resend = authNtlmState_ == 1 || authNtlmState_ == 3;
    } else if (status == 407 && !authChallenges_.empty() && proxyAuthBasicState_ == 0 &&
               !proxyUsername_.empty() && !proxyPassword_.empty() &&
               FindChallenge(authChallenges_, "NTLM") != nullptr) {
      result = true;
      NTLMRoundStep(true);
      resend = proxyAuthNtlmState_ == 1 || proxyAuthNtlmState_ == 3;
    }
  }
  traceStates("end");
  return result;
}

bool THttpCli::StartBasicAuthRound(bool& resend) {
  resend = false;
  int status = statusCode_;
  bool allowed = !options_.Contains(httpoNoBasicAuth) ||
                 ((status != 401 || serverAuthKind_ == httpAuthBasic) &&
                  (status != 407 || proxyAuthKind_ == httpAuthBasic));
  if (!allowed) return false;
  if (status == 401 && !authChallenges_.empty() && authNtlmState_ == 0 && !currentUser_.empty() &&
      !currentPassword_.empty() && FindChallenge(authChallenges_, "Basic") != nullptr) {
    BasicRoundStep(false);
    resend = authBasicState_ == 1;
    return true;
  }
  if (status == 407 && !authChallenges_.empty() && proxyAuthNtlmState_ == 0 &&
      !proxyUsername_.empty() && !proxyPassword_.empty() &&
      FindChallenge(authChallenges_, "Basic") != nullptr) {
    BasicRoundStep(true);
    resend = proxyAuthBasicState_ == 1;
    return true;
  }
  return false;
}

void THttpCli::NTLMRoundStep(bool proxy) {
  int& state = proxy ? proxyAuthNtlmState_ : authNtlmState_;
  switch (state) {
    case 0:
      Trace(loProtSpecDump,
            proxy ? "Starting Proxy NTLM authentication" : "Starting NTLM authentication");
      state = 1;
      (proxy ? proxyAuthBasicState_ : authBasicState_) = 0;
      if (KeepAliveForNtlm()) (proxy ? proxyConnectionValue_ : connectionValue_) = "Keep-alive";
      PostMsg(HttpMsgReconnect);
      return;
    case 1: {
      const std::string* challenge = FindChallenge(authChallenges_, "NTLM");
      TNTLM_Msg2_Info info;
      if (challenge != nullptr && challenge->size() > 5) {
        info = NtlmParseType2(challenge->substr(5, 1000));
      }
      if (!info.Valid) {
        // No usable challenge came back: the exchange ends and the refusal stands.
        authChallenges_.clear();
        state = 0;
        PostMsg(HttpMsgRequestDone);
        return;
      }
      (proxy ? proxyChallenge_ : serverChallenge_) = info;
      state = 3;
      PostMsg(HttpMsgReconnect);
      return;
    }
    case 3:
      authChallenges_.clear();
      state = 0;
      PostMsg(HttpMsgRequestDone);
      return;
    default:
      throw EHttpException(proxy ? "Unexpected ProxyAuthNTLMState" : "Unexpected AuthNTLMState",
                           httperrAuthState);
  }
}

void THttpCli::BasicRoundStep(bool proxy) {
  int& state = proxy ? proxyAuthBasicState_ : authBasicState_;
  switch (state) {
    case 0:
      Trace(loProtSpecDump,
            proxy ? "Starting Proxy Basic authentication" : "Starting Basic authentication");
      state = 1;
      (proxy ? proxyAuthNtlmState_ : authNtlmState_) = 0;
      PostMsg(HttpMsgReconnect);
      return;
    case 1:
      authChallenges_.clear();
      state = 0;
      PostMsg(HttpMsgRequestDone);
      return;
    default:
      throw EHttpException(proxy ? "Unexpected ProxyAuthBasicState" : "Unexpected AuthBasicState",
                           httperrAuthState);
  }
}

// ---------------------------------------------------------------------------------------------
// Relocation

void THttpCli::LocationField(const std::string& field) {
  // A fragment names a place inside the document and is never sent.
  std::string v = field.substr(0, field.find('#'));
  if (requestType_ == httpPUT || !followRelocation_) {
    location_ = v;
    return;
  }
  locationPending_ = true;
  bool absolute = StartsWithNoCase(v, "http://") || StartsWithNoCase(v, "https://");
  std::string proto, user, pass, host, port, path;
  if (proxy_.empty()) {
    if (!v.empty() && v[0] == '/') {
      requestPath_ = v;
      location_ = "http://" + connectHost_ + PortSuffix(connectPort_) + v;
    } else if (!absolute) {
      requestPath_ = UrlBase(requestPath_) + v;
      location_ = "http://" + connectHost_ + PortSuffix(connectPort_) + requestPath_;
    } else {
      SplitUrl(v, proto, user, pass, host, port, path);
      protocol_ = proto.empty() ? "http" : proto;
      requestPath_ = path.empty() ? "/" : path;
      connectPort_ = port.empty() ? "80" : port;
      if (!user.empty() && !pass.empty()) {
        currentUser_ = user;
        currentPassword_ = pass;
      }
      if (!host.empty()) {
        connectHost_ = host;
        targetHost_ = host;
        targetPort_ = connectPort_;
      } else {
        connectHost_ = targetHost_;
      }
      location_ = protocol_ + "://" + targetHost_ + PortSuffix(targetPort_) + requestPath_;
    }
    return;
  }
  // Through a proxy the request line carries the whole URL; the proxy stays the connect target.
  if (!v.empty() && v[0] == '/') {
    std::string base = requestPath_;
    SplitUrl(base, proto, user, pass, host, port, path);
    location_ =
        (proto.empty() ? "http" : proto) + "://" + host + (port.empty() ? "" : ":" + port) + v;
    requestPath_ = location_;
  } else if (!absolute) {
    requestPath_ = UrlBase(requestPath_) + v;
    location_ = requestPath_;
  } else {
    SplitUrl(v, proto, user, pass, host, port, path);
    if (!host.empty()) {
      targetHost_ = host;
      targetPort_ = port.empty() ? "80" : port;
    }
    location_ = (proto.empty() ? "http" : proto) + "://" + targetHost_ + PortSuffix(targetPort_) +
                (path.empty() ? "/" : path);
    requestPath_ = location_;
  }
  if (!user.empty() && !pass.empty()) {
    currentUser_ = user;
    currentPassword_ = pass;
  }
}

bool THttpCli::CountRelocation() {
  ++locationChangeCurCount_;
  if (locationChangeCurCount_ <= locationChangeMaxCount_) return true;
  bool allow = false;
  if (OnLocationChangeExceeded) OnLocationChangeExceeded(this, locationChangeCurCount_, allow);
  if (allow) return true;
  locationPending_ = false;
  PostMsg(HttpMsgSetReady);
  return false;
}

void THttpCli::FollowLocation() {
  Trace(loProtSpecInfo, "Starting relocation process");
  bodyReceivedCount_ = 0;
  receiveLength_ = 0;
  headerLineNumber_ = 0;
  bodyCallCount_ = 0;
  if (!SameConnection() || closeReq_ || socket_->State() != wsConnected) {
    socket_->OnSessionClosed = [this](TCustomWSocket*, std::uint16_t e) {
      RelocationSessionClosed(e);
    };
    if (socket_->State() == wsClosed) {
      RelocationSessionClosed(0);
    } else {
      CloseLater();
    }
    return;
  }
  if (!CountRelocation()) return;
  std::weak_ptr<char> alive = alive_;
  if (OnLocationChange) OnLocationChange(this);
  if (alive.expired()) return;
  RewindStreams();
  ResetReplyState(true);
  docPath_ = requestPath_;
  ComputeDocumentName();
  if (requestType_ == httpPOST) requestType_ = httpGET;
  PostMsg(HttpMsgReconnect);
}

void THttpCli::RelocationSessionClosed(std::uint16_t) {
  socket_->OnSessionClosed = [this](TCustomWSocket*, std::uint16_t e) { SocketSessionClosed(e); };
  connected_ = false;
  connectedHost_.clear();
  connectedPort_.clear();
  connectedProtocol_.clear();
  locationPending_ = false;
  location_ = location_.substr(0, location_.find('#'));
  std::string proto, user, pass, host, port, path;
  SplitUrl(location_, proto, user, pass, host, port, path);
  docPath_ = path;
  ComputeDocumentName();
  if (requestType_ == httpPOST) requestType_ = httpGET;
  if (!CountRelocation()) return;
  std::weak_ptr<char> alive = alive_;
  if (OnLocationChange) OnLocationChange(this);
  if (alive.expired()) return;
  // Every count of the reply ended by the close starts again, the body's included: a body
  // without length was counted up to the close.
  RewindStreams();
  ResetReplyState(true);
  receiveLength_ = 0;
  PostMsg(HttpMsgReconnect);
}
